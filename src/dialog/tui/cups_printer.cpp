// Printing to the default CUPS destination (lpstat -d, LPDEST, PRINTER,
// ~/.cups/lpoptions).
#include "dialog/tui/printer.h"

#include <cups/cups.h>

#include "compat/codepage.h"
#include "dialog/tui/text_pages.h"

namespace orneh {
namespace dialog {
namespace tui {
namespace {

// A page of plain text that fits the printable area of both A4 and Letter at
// the 10 characters per inch and 6 lines per inch asked for below.
constexpr int kPageColumns = 72;
constexpr int kPageRows = 60;

class Destination {
public:
    Destination() : m_dest(cupsGetNamedDest(CUPS_HTTP_DEFAULT, nullptr, nullptr)) {}
    ~Destination() {
        if (m_dest) cupsFreeDests(1, m_dest);
    }
    Destination(const Destination&) = delete;
    Destination& operator=(const Destination&) = delete;
    cups_dest_t* get() const { return m_dest; }

private:
    cups_dest_t* m_dest;
};

class Options {
public:
    explicit Options(const cups_dest_t& dest) {
        for (int i = 0; i < dest.num_options; ++i) {
            m_count = cupsAddOption(dest.options[i].name, dest.options[i].value, m_count, &m_options);
        }
        m_count = cupsAddOption("cpi", "10", m_count, &m_options);
        m_count = cupsAddOption("lpi", "6", m_count, &m_options);
    }
    ~Options() { cupsFreeOptions(m_count, m_options); }
    Options(const Options&) = delete;
    Options& operator=(const Options&) = delete;
    int count() const { return m_count; }
    cups_option_t* get() const { return m_options; }

private:
    int m_count = 0;
    cups_option_t* m_options = nullptr;
};

}  // namespace

PrintResult PrintToDefaultDestination(const std::string& documentName, PrintJob& job, std::string& where) {
    Destination destination;
    cups_dest_t* dest = destination.get();
    if (!dest) return PrintResult::kNoPrinter;

    TextPages pages(kPageColumns, kPageRows);
    job.Paginate(pages);
    if (!pages.ended()) return PrintResult::kFailed;

    const std::string title = compat::Cp1252ToUtf8(documentName.c_str());
    const std::string text = compat::Cp1252ToUtf8(pages.document().c_str());
    Options options(*dest);
    const int id = cupsCreateJob(CUPS_HTTP_DEFAULT, dest->name, title.c_str(), options.count(), options.get());
    if (id <= 0) {
        where = cupsLastErrorString();
        return PrintResult::kFailed;
    }
    if (cupsStartDocument(CUPS_HTTP_DEFAULT, dest->name, id, title.c_str(), CUPS_FORMAT_TEXT, 1) !=
        HTTP_STATUS_CONTINUE) {
        where = cupsLastErrorString();
        cupsCancelJob2(CUPS_HTTP_DEFAULT, dest->name, id, 0);
        return PrintResult::kFailed;
    }
    const bool written = cupsWriteRequestData(CUPS_HTTP_DEFAULT, text.data(), text.size()) == HTTP_STATUS_CONTINUE;
    const bool finished = cupsFinishDocument(CUPS_HTTP_DEFAULT, dest->name) == IPP_STATUS_OK;
    if (!written || !finished) {
        where = cupsLastErrorString();
        cupsCancelJob2(CUPS_HTTP_DEFAULT, dest->name, id, 0);
        return PrintResult::kFailed;
    }
    where = dest->name;
    return PrintResult::kPrinted;
}

}  // namespace tui
}  // namespace dialog
}  // namespace orneh

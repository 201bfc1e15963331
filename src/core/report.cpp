// Reporting: the chain reports, the text reports, ShowError and MFC's
// ReportError.
#include <cstdio>
#include <cstring>

#include "OrnEhBasis.h"
#include "OrnEhParam.h"
#include "OrnLangIds.h"
#include "OrnLangResource.h"
#include "core/basis_info.h"
#include "core/log_record.h"
#include "core/presentation.h"
#include "module/language.h"
#include "base/alloc.h"
#include "runtime/admin.h"
#include "runtime/boundary.h"

namespace base = orneh::base;

namespace {

// What one report obtained and must give back, whatever way it ends.
struct ReportResources {
    const OrnEhBasis* owner = nullptr;
    HINSTANCE module = nullptr;
    char* defaultText = nullptr;
    char* defaultCaption = nullptr;
    char* text = nullptr;             // from GetErrorTextInfo
    char* lookedUpCaption = nullptr;  // from GetCaptionText
    const char* formatted = nullptr;
    const char* shownText = nullptr;

    ~ReportResources() {
        if (formatted && formatted != shownText) OrnEhDeleteString(formatted);
        // The release hooks of the exception that handed the texts out.
        orneh::Contained([this] {
            if (text) OrnEhBasisAccess::FreeErrorText(owner, text);
            if (lookedUpCaption) OrnEhBasisAccess::FreeCaptionText(owner, lookedUpCaption);
        });
        if (module) OrnResFreeModule(module);
        OrnEhDeleteString(defaultText);
        OrnEhDeleteString(defaultCaption);
    }
};

// What OrnEhBasis::Log(message, nullptr, 1) writes, for a container at hand.
void LogTo(ExContainer* container, const char* message) {
    if (container) orneh::core::LogChain(container, message, container->GetLast());
}

}  // namespace

long OrnEhBasis::ReportErrorOnObject(HWND const window, const char* const caption) {
    return ReportOn(window, nullptr, false, caption);
}

long OrnEhBasis::ReportErrorOnObject(const char* const fileName, const char* const caption) {
    return ReportOn(nullptr, fileName, true, caption);
}

long OrnEhBasis::ReportOn(HWND window, const char* fileName, bool toFile, const char* caption) {
    long result = 1;
    orneh::HandledExceptionAside aside;  // its hooks may end the thread
    orneh::Boundary([&] {
        // The calling thread's container, looked up once for the whole report.
        ExContainer* container = GetCurrentContainer();
        {
            ReportResources r;
            r.owner = this;
            unsigned long textNo = GetErrorTextNo();
            const char* moduleName = GetResourceModulname();
            r.defaultText = orneh::module::CopyLanguageString(IDS_EH_DEFAULT_TEXT);
            r.defaultCaption = orneh::module::CopyLanguageString(IDS_EH_DEFAULT_CAPTION);

            void* textTable = nullptr;
            if (moduleName) {
                r.module = LoadResourceModule(moduleName);
                textTable = GetResourceEntry(GetResIdForTextInfo(), r.module);
            }
            unsigned long messageType = 0, captionNo = 0;
            short logFlag = 0, showFlag = 0;
            r.text = GetErrorTextInfo(textTable, textNo, messageType, captionNo, logFlag, showFlag);
            void* captionTable = r.module ? GetResourceEntry(GetResIdForCaption(), r.module) : nullptr;
            if (m_info && m_info->captionNo != 0) captionNo = m_info->captionNo;
            if (!caption) r.lookedUpCaption = GetCaptionText(captionTable, captionNo);

            const char* shownCaption = caption ? caption : r.lookedUpCaption;
            r.shownText = r.text;
            if (!r.text) {
                r.shownText = r.defaultText;
                if (!caption) shownCaption = r.defaultCaption;
                if (!toFile) messageType = 0;
                // A file report writes the default text too, so that a report
                // never leaves the file without a trace of the error.
                logFlag = 1;
                showFlag = 1;
            } else if (!*r.text) {
                r.shownText = r.defaultText;
            }
            r.formatted = FormatErrorText(r.shownText);

            if (logFlag) LogTo(container, r.formatted);
            if (showFlag) {
                if (toFile) {
                    orneh::core::PresentInFile(fileName, shownCaption, r.formatted);
                } else {
                    result = ShowError(window, r.formatted, shownCaption, messageType);
                }
            }
        }
        // This exception goes with the chain; nothing of it is touched after.
        if (container) container->ReleaseAll();
    });
    return toFile ? 1 : result;
}

long OrnEhBasis::ShowError(HWND const window, const char* const text, const char* const caption,
                           unsigned long messageType) const {
    long result = 1;
    orneh::Contained([&] {
        char application[3] = {0, 0, 0};
        GetApplication(application, sizeof application);
        application[sizeof application - 1] = '\0';
        const char* body = text ? text : "";
        // "#", two characters of application code, up to 20 digits, two line
        // breaks and the terminator fit into 32 bytes.
        std::size_t size = std::strlen(body) + 32;
        // Owned: a hook of the dialog (the hand-over) may end the thread.
        base::OwnedBlock<char> composed(static_cast<char*>(base::Alloc(size)));
        if (composed) {
            // "%.5lu" prints what "%05.5lu" prints: at least five digits.
            std::snprintf(composed.get(), size, "#%s%.5lu\r\n\r\n%s", application, GetErrorTextNo(), body);
        }
        result = orneh::core::PresentInDialog(window, composed ? composed.get() : body, caption, messageType,
                                              GetCurrentContainer());
    });
    return result;
}

namespace {

// The exception a chain report shows, after bringing the caught one in: the
// newest that has an error-text number, else the newest; null for an empty
// chain.
OrnEhBasis* ChooseForReport(CException* exception, int autoDelete) {
    if (exception) OrnEhBasisAccess::Adopt(exception, autoDelete);
    ExContainer* container = GetCurrentContainer();
    OrnEhBasis* newest = container ? container->GetLast() : nullptr;
    OrnEhBasis* chosen = newest;
    while (chosen && chosen->GetErrorTextNo() == 0) chosen = chosen->GetPrev();
    return chosen ? chosen : newest;
}

}  // namespace

long OrnEhBasis::Report(HWND window, CException* exception, int autoDelete,
                        const char* const caption) {
    orneh::HandledExceptionAside aside;
    return orneh::Boundary(1L, [&] {
        OrnEhBasis* chosen = ChooseForReport(exception, autoDelete);
        return chosen ? chosen->ReportErrorOnObject(window, caption) : 1L;
    });
}

long OrnEhBasis::Report(const char* const fileName, CException* exception, int autoDelete,
                        const char* const caption) {
    orneh::HandledExceptionAside aside;
    orneh::Boundary([&] {
        if (OrnEhBasis* chosen = ChooseForReport(exception, autoDelete)) {
            chosen->ReportErrorOnObject(fileName, caption);
        }
    });
    return 1;
}

int OrnEhBasis::ReportError(unsigned int, unsigned int) {
    // There is no main window on this platform to own the dialog.
    return static_cast<int>(Report(static_cast<HWND>(nullptr), nullptr, 1, nullptr));
}

long OrnEhBasis::ReportText(HWND window, const char* fileName, bool toFile, const char* text,
                            const char* caption, long messageType, const OrnEhParam* params,
                            CException* exception, int autoDelete, short writeLog) {
    long result = 1;
    const char* formatted = text;
    orneh::HandledExceptionAside aside;
    orneh::Boundary([&] {
        // The calling thread's container, looked up once for the whole report.
        ExContainer* container = GetCurrentContainer();
        orneh::Contained([&] {
            if (exception) AdoptException(exception, autoDelete);
            if (params) formatted = FormatErrorText(text, *params);
            if (writeLog) LogTo(container, formatted);
            if (toFile) {
                orneh::core::PresentInFile(fileName, caption, formatted);
            } else {
                result = orneh::core::PresentInDialog(window, formatted, caption,
                                                      static_cast<unsigned long>(messageType),
                                                      container);
            }
        });
        if (formatted != text) OrnEhDeleteString(formatted);
        if (container) container->ReleaseAll();
    });
    return toFile ? 1 : result;
}

long OrnEhBasis::Report(HWND window, const char* const text, const char* const caption,
                        long messageType, CException* exception, int autoDelete, short writeLog) {
    return ReportText(window, nullptr, false, text, caption, messageType, nullptr, exception,
                      autoDelete, writeLog);
}

long OrnEhBasis::Report(const char* const fileName, const char* const text,
                        const char* const caption, CException* exception, int autoDelete,
                        short writeLog) {
    return ReportText(nullptr, fileName, true, text, caption, 0, nullptr, exception, autoDelete,
                      writeLog);
}

long OrnEhBasis::Report(HWND window, const char* const text, const char* const caption,
                        long messageType, const OrnEhParam& params, CException* exception,
                        int autoDelete, short writeLog) {
    return ReportText(window, nullptr, false, text, caption, messageType, &params, exception,
                      autoDelete, writeLog);
}

long OrnEhBasis::Report(const char* const fileName, const char* const text,
                        const char* const caption, const OrnEhParam& params,
                        CException* exception, int autoDelete, short writeLog) {
    return ReportText(nullptr, fileName, true, text, caption, 0, &params, exception, autoDelete,
                      writeLog);
}

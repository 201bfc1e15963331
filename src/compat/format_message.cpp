#include "compat/format_message.h"

#include <cstring>

#include "base/alloc.h"

namespace orneh {
namespace compat {
namespace {

// Receives the formatted bytes. Formatting runs twice over the same text:
// first without a buffer, to validate it and measure the result, then into
// a block of exactly that size. So there is one allocation and no growing.
class Sink {
public:
    explicit Sink(char* out) : m_out(out) {}

    void Put(char c) { Append(&c, 1); }

    void Append(const char* bytes, std::size_t length) {
        if (length == 0 || !Reserve(length)) return;
        if (m_out) std::memcpy(m_out + m_size, bytes, length);
        m_size += length;
    }

    void Fill(char c, std::size_t count) {
        if (!Reserve(count)) return;
        if (m_out) std::memset(m_out + m_size, c, count);
        m_size += count;
    }

    std::size_t Size() const { return m_size; }
    // The result would not fit into the address space.
    bool Overflowed() const { return m_overflow; }

private:
    bool Reserve(std::size_t length) {
        if (m_overflow || length > static_cast<std::size_t>(-1) - 1 - m_size) {
            m_overflow = true;
            return false;
        }
        return true;
    }

    char* m_out;
    std::size_t m_size = 0;
    bool m_overflow = false;
};

bool IsDigit(char c) { return c >= '0' && c <= '9'; }

// A !fmt! conversion of a text insert.
struct Conversion {
    bool leftAlign = false;
    bool zeroPad = false;
    std::size_t width = 0;
    bool hasPrecision = false;
    std::size_t precision = 0;
    const char* tail = "";  // literal text behind the conversion
    std::size_t tailLength = 0;
};

// Reads a decimal number for a width or precision; false above the bound.
bool ParseBounded(const char*& p, std::size_t* value) {
    std::size_t result = 0;
    while (IsDigit(*p)) {
        result = result * 10 + static_cast<std::size_t>(*p - '0');
        if (result > kFormatMaxWidth) return false;
        ++p;
    }
    *value = result;
    return true;
}

// Parses the conversion that starts behind the opening '!' and leaves p
// behind the closing one. False for anything that is not a plain narrow
// string conversion.
bool ParseConversion(const char*& p, Conversion* conv) {
    for (;; ++p) {
        if (*p == '-') {
            conv->leftAlign = true;
        } else if (*p == '0') {
            conv->zeroPad = true;
        } else if (*p != ' ' && *p != '+' && *p != '#') {
            break;  // space, + and # change nothing for a string
        }
    }
    if (*p == '*' || !ParseBounded(p, &conv->width)) return false;
    if (*p == '.') {
        ++p;
        if (*p == '*' || !ParseBounded(p, &conv->precision)) return false;
        conv->hasPrecision = true;
    }
    if (*p == 'h') ++p;  // an explicitly narrow string
    if (*p != 's') return false;
    ++p;
    conv->tail = p;
    while (*p != '!') {
        // A second conversion would want a second argument.
        if (*p == '\0' || *p == '%') return false;
        ++p;
    }
    conv->tailLength = static_cast<std::size_t>(p - conv->tail);
    ++p;
    return true;
}

void PutInsert(Sink& sink, const char* value, const Conversion& conv) {
    std::size_t length =
        conv.hasPrecision ? ::strnlen(value, conv.precision) : std::strlen(value);
    std::size_t padding = conv.width > length ? conv.width - length : 0;
    if (conv.leftAlign) {
        sink.Append(value, length);
        sink.Fill(' ', padding);
    } else {
        // The system's printf pads a string with zeros when asked to.
        sink.Fill(conv.zeroPad ? '0' : ' ', padding);
        sink.Append(value, length);
    }
    sink.Append(conv.tail, conv.tailLength);
}

// One pass over text; 0 on success, else the failure code.
unsigned long Format(const char* text, const char* const* args, std::size_t argCount,
                     const char* nullArgument, Sink& sink) {
    const char* p = text;
    while (*p != '\0') {
        char c = *p++;
        if (c == '\n') {
            sink.Append("\r\n", 2);
            continue;
        }
        if (c == '\r') {
            sink.Append("\r\n", 2);
            if (*p == '\n') ++p;
            continue;
        }
        if (c != '%') {
            sink.Put(c);
            continue;
        }
        char escape = *p;
        if (escape == '\0') return kFormatInvalidInsert;
        ++p;
        if (escape == '0') break;
        if (escape >= '1' && escape <= '9') {
            std::size_t number = static_cast<std::size_t>(escape - '0');
            if (IsDigit(*p)) number = number * 10 + static_cast<std::size_t>(*p++ - '0');
            if (!args || number > argCount) return kFormatInvalidInsert;
            Conversion conv;
            if (*p == '!') {
                ++p;
                if (!ParseConversion(p, &conv)) return kFormatInvalidInsert;
            }
            const char* value = args[number - 1];
            PutInsert(sink, value ? value : nullArgument, conv);
            continue;
        }
        switch (escape) {
            case 'n': sink.Append("\r\n", 2); break;
            case 'r': sink.Put('\r'); break;
            case 't': sink.Put('\t'); break;
            default: sink.Put(escape); break;
        }
    }
    if (sink.Overflowed()) return kFormatNoMemory;
    if (sink.Size() == 0) return kFormatEmptyResult;
    return 0;
}

}  // namespace

char* FormatInserts(const char* text, const char* const* args, std::size_t argCount,
                    const char* nullArgument, unsigned long* error) noexcept {
    unsigned long ignored = 0;
    if (!error) error = &ignored;
    if (!text) {
        *error = kFormatInvalidInsert;
        return nullptr;
    }
    if (!nullArgument) nullArgument = "(null)";

    Sink measure(nullptr);
    unsigned long failure = Format(text, args, argCount, nullArgument, measure);
    if (failure != 0) {
        *error = failure;
        return nullptr;
    }
    char* result = static_cast<char*>(base::Alloc(measure.Size() + 1));
    if (!result) {
        *error = kFormatNoMemory;
        return nullptr;
    }
    Sink write(result);
    Format(text, args, argCount, nullArgument, write);
    result[write.Size()] = '\0';
    return result;
}

}  // namespace compat
}  // namespace orneh

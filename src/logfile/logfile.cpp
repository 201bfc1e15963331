// OrnEhLogFile: construction, configuration and the file name queries.
#include <cstring>
#include <new>

#include "OrnEhLogFile.h"
#include "logfile/logfile_state.h"
#include "base/alloc.h"
#include "base/contained.h"

namespace lf = orneh::logfile;

OrnEhLogFile::State::~State() {
    OrnEhDeleteString(fileName);
    OrnEhDeleteString(separator);
    orneh::base::Free(memoryText);
}

OrnEhLogFile::State* OrnEhLogFile::State::Create() noexcept {
    void* block = orneh::base::Alloc(sizeof(State));
    return block ? new (block) State() : nullptr;
}

void OrnEhLogFile::State::Destroy(State* state) noexcept {
    if (!state) return;
    state->~State();
    orneh::base::Free(state);
}

namespace {

// A copy of the separator when it is short enough to be kept, else null.
char* CopySeparator(const char* separator) {
    if (!separator || ::strnlen(separator, lf::kMaxSeparatorLength + 1) > lf::kMaxSeparatorLength) {
        return nullptr;
    }
    return OrnEhCopyString(separator);
}

}  // namespace

OrnEhLogFile::OrnEhLogFile(const char* fileName, OrnEhLogfileStyle style, unsigned long maxSize,
                           const char* separator, unsigned long retryDelay,
                           unsigned long maxAttempts)
    : m_state(nullptr) {
    orneh::Contained([&] {
        m_state = State::Create();
        if (!m_state) return;
        m_state->fileName = OrnEhCopyString(fileName);
        m_state->style = style;
        m_state->maxSize = maxSize;
        m_state->separator = CopySeparator(separator);
        m_state->retryDelay = retryDelay;
        m_state->maxAttempts = maxAttempts;
    });
}

OrnEhLogFile::OrnEhLogFile() : m_state(nullptr) {
    orneh::Contained([&] {
        m_state = State::Create();
        if (!m_state) return;
        char separator[lf::kStandardSeparatorLength + 1];
        std::memset(separator, '*', lf::kStandardSeparatorLength);
        separator[lf::kStandardSeparatorLength] = '\0';
        m_state->fileName = State::FindStandardFile();
        m_state->style = OrnEhLogLimited;
        m_state->maxSize = lf::kStandardMaxSize;
        m_state->separator = OrnEhCopyString(separator);
        m_state->isStandard = 1;
        m_state->retryDelay = lf::kStandardRetryDelay;
        m_state->maxAttempts = lf::kStandardMaxAttempts;
        m_state->nameFromSearch = 1;
    });
}

// A file still open is closed without a separator and without the text still
// buffered: a record without its separator would run into the next one.
OrnEhLogFile::~OrnEhLogFile() {
    orneh::Contained([&] {
        State::Destroy(m_state);
    });
    m_state = nullptr;
}

void OrnEhLogFile::SetFileName(const char* name) {
    orneh::Contained([&] {
        if (!m_state) return;
        char* copy = OrnEhCopyString(name);
        OrnEhDeleteString(m_state->fileName);
        m_state->fileName = copy;
        m_state->nameFromSearch = 0;
    });
}

void OrnEhLogFile::SetStyle(OrnEhLogfileStyle style) {
    if (m_state) m_state->style = style;
}

void OrnEhLogFile::SetMaxSize(unsigned long maxSize) {
    if (m_state) m_state->maxSize = maxSize;
}

void OrnEhLogFile::SetTap(Tap tap, void* context) {
    if (!m_state) return;
    m_state->tap = tap;
    m_state->tapContext = context;
}

OrnEhLogfileStyle OrnEhLogFile::GetStyle() const {
    return m_state ? m_state->style : OrnEhLogLimited;
}

void OrnEhLogFile::GetDirectory(char* out, unsigned int size) const {
    orneh::Contained([&] {
        if (!m_state || !m_state->fileName || !out) return;
        std::memset(out, 0, size);
        const char* lastSlash = std::strrchr(m_state->fileName, '/');
        if (!lastSlash) return;
        std::size_t length = static_cast<std::size_t>(lastSlash - m_state->fileName);
        if (size >= length + 1) std::memcpy(out, m_state->fileName, length);
    });
}

void OrnEhLogFile::GetFullPath(char* out, unsigned int size) const {
    orneh::Contained([&] {
        if (!m_state || !m_state->fileName || !out) return;
        std::memset(out, 0, size);
        const char* name = m_state->fileName;
        std::size_t nameLength = std::strlen(name);
        if (name[0] != '.') {
            // A name that does not fit is not cut short: out stays empty.
            if (nameLength + 1 <= size) std::memcpy(out, name, nameLength + 1);
            return;
        }
        if (!orneh::platform::CurrentDirectory(out, size)) return;
        std::size_t directoryLength = std::strlen(out);
        if (directoryLength + 1 + nameLength + 1 <= size) {
            out[directoryLength] = '/';
            std::memcpy(out + directoryLength + 1, name, nameLength + 1);
        }
    });
}

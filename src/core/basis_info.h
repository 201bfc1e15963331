// The private record of an exception and the library's access to it.
#ifndef ORNEH_CORE_BASIS_INFO_H
#define ORNEH_CORE_BASIS_INFO_H

#include <cstdint>

#include "OrnEhBasis.h"
#include "core/stack_block.h"
#include "base/contained.h"

class ExContainer;
class OrnEhParam;

// One block: this record, then the texts that are there (cause, source,
// method, class name, in that order, each with its NUL), then the copy of
// the parameter list (OrnEhParam::PlaceCopy). Nothing of it is allocated
// on its own, and the block is usually the object's own (behind the
// object, see core/basis.cpp): an exception is made with one block, at
// most two, and is either whole or without a record.
struct OrnEhBasisInfo {
    OrnEhBasis* next;  // next newer exception of the chain, not owned
    OrnEhBasis* prev;  // next older exception of the chain, not owned
    // The container whose chain holds the exception, or whose deferred
    // deletion waits for it; null for a chain taken out of its thread.
    // Changed under that container's lock.
    ExContainer* owner;
    OrnEhParam* params;  // inside this block, or null
    orneh::platform::CallStack* stack;  // owned, or null (core/stack_block.h)
    // On the newest exception of a chain an ended thread left in its
    // container: the next such chain of that container (core/container.h).
    OrnEhBasis* nextLeft;
    unsigned long errorNo;
    unsigned long errorTextNo;
    unsigned long captionNo;
    unsigned long extraNo;
    std::uint32_t threadId;  // the constructing thread (GetExThreadId)
    bool released;  // false while a chain holds the exception
    bool reserve;   // a thread record's reserve exception (runtime/admin.h)
    std::uint8_t texts;  // which texts follow the record: bit (1 << RecordText)
    bool inObjectBlock;  // in the object's own block (core/basis.cpp): not freed on its own

    enum RecordText { kCause, kSource, kMethod, kClassName };
    // The text, or null when it was not given.
    const char* Text(RecordText which) const {
        if (!(texts & (1u << which))) return nullptr;
        const char* text = reinterpret_cast<const char*>(this + 1);
        for (unsigned i = 0; i < static_cast<unsigned>(which); ++i) {
            if (texts & (1u << i)) text += __builtin_strlen(text) + 1;
        }
        return text;
    }
};

// The library's door to the private parts of OrnEhBasis.
struct OrnEhBasisAccess {
    static OrnEhBasisInfo* Info(const OrnEhBasis* e) { return e ? e->m_info : nullptr; }
    // An application's Log override that throws leaves its record short;
    // the entry goes on, so that it still ends with Close. A thread on its
    // way out (a hook ended it) runs no application code again: the base
    // record only.
    static void WriteRecord(const OrnEhBasis* e, OrnEhLogFile& log) {
        WriteOwnRecord(e, log);
        orneh::core::WriteStackBlock(e, log);
    }
    // The record without its stack block.
    static void WriteOwnRecord(const OrnEhBasis* e, OrnEhLogFile& log) {
        orneh::Contained([e, &log] {
            if (orneh::InLibrary::ThreadEnding()) {
                e->OrnEhBasis::Log(log);
            } else {
                e->Log(log);
            }
        });
    }
    static void Push(OrnEhBasis* e) { OrnEhBasis::Push(e); }
    static void Adopt(CException* e, int autoDelete) { OrnEhBasis::AdoptException(e, autoDelete); }
    static void FreeErrorText(const OrnEhBasis* e, char* text) { e->FreeErrorText(text); }
    static void FreeCaptionText(const OrnEhBasis* e, char* text) { e->FreeCaptionText(text); }
};

namespace orneh {
namespace core {

// The record of e; null for null and for an exception without one.
inline OrnEhBasisInfo* Info(const OrnEhBasis* e) { return OrnEhBasisAccess::Info(e); }

}  // namespace core
}  // namespace orneh

#endif

// The private record of an exception and the library's access to it.
#ifndef ORNEH_CORE_BASIS_INFO_H
#define ORNEH_CORE_BASIS_INFO_H

#include <cstdint>

#include "OrnEhBasis.h"
#include "core/stack_block.h"
#include "base/contained.h"

class ExContainer;
class OrnEhParam;

struct OrnEhBasisInfo {
    char* cause;
    char* source;
    std::uint32_t threadId;  // the constructing thread (GetExThreadId)
    unsigned long errorNo;
    char* method;
    char* className;
    unsigned long errorTextNo;
    unsigned long captionNo;
    OrnEhBasis* next;  // next newer exception of the chain, not owned
    OrnEhBasis* prev;  // next older exception of the chain, not owned
    OrnEhParam* params;  // owned copy, or null
    unsigned long extraNo;
    int released;  // 0 while a chain holds the exception
    // The container whose chain holds the exception, or whose deferred
    // deletion waits for it; null for a chain taken out of its thread.
    // Changed under that container's lock.
    ExContainer* owner;
    orneh::platform::CallStack* stack;  // owned, or null (core/stack_block.h)
    // On the newest exception of a chain an ended thread left in its
    // container: the next such chain of that container (core/container.h).
    OrnEhBasis* nextLeft;
    bool reserve;  // a thread record's reserve exception (runtime/admin.h)
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

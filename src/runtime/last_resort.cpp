#include "runtime/last_resort.h"

#include <cstdio>
#include <exception>

#include "OrnEhBasis.h"
#include "OrnEhSEH.h"
#include "platform/fault_translator.h"
#include "platform/signals.h"
#include "runtime/admin.h"
#include "runtime/last_resort_stack.h"
#include "runtime/boundary.h"
#include "runtime/se_translator.h"
#include "runtime/terminate_functions.h"

namespace {

void WriteThreadText(const char* format, unsigned long threadId) {
    char text[64];
    std::snprintf(text, sizeof text, format, threadId);
    WriteEmergencyText(text);
}

// The exception that is on its way to std::terminate, if it is one of ours.
OrnEhBasis* PendingException() {
    std::exception_ptr pending = std::current_exception();
    if (!pending) return nullptr;
    try {
        std::rethrow_exception(pending);
    } catch (OrnEhBasis* e) {
        return e;
    } catch (...) {
    }
    return nullptr;
}

}  // namespace

void ExTerminateHandler() {
    orneh::Boundary([&] {
        WriteEmergencyText("Programm mit exit (-1) abgebrochen, da throw ohne vorheriges try\r\n");
        WriteThreadText("Aufgetreten in Thread: %lu\r\n", GetExThreadId());
        WriteThreadText("Aufgetreten in Hauptthread: %lu\r\n", GetMainThreadId());
        // An exception of ours that nobody caught (a translated fault among
        // them) still leaves its chain, register dump included, in the log.
        OrnEhBasis* pending = PendingException();
        orneh::runtime::WriteTerminateStack(pending);
        ExContainer* container = GetCurrentContainer();
        if (pending || (container && container->GetLast())) OrnEhBasis::Log(nullptr, pending, 0);
        OrnEhBasis::Release();
        orneh::runtime::CallTerminateFunctions();
    });
}

long ExUnhandledExceptionFilter(EXCEPTION_POINTERS* pointers) {
    orneh::Boundary([&] {
        GetAdmin();
        WriteEmergencyText(
            "Programm mit exit (-1) abgebrochen, da Unhandled BS-Exception aufgetreten ist\r\n");
        WriteThreadText("Aufgetreten in Thread: %lu\r\n", GetExThreadId());
        WriteThreadText("Hauptthread: %lu\r\n", GetMainThreadId());
        orneh::runtime::WriteFaultStackFirst(pointers);
        new OrnEhSEH(pointers, 1);
        OrnEhBasis::Log(nullptr, nullptr, 1);
        OrnEhBasis::Release();
    });
    // The terminate functions are the application's, not the library's
    // steps: they run without the handler's time bound, and a fault in one is
    // thrown to the catch around it (as in the terminate handler), so the
    // others still run.
    orneh::platform::FaultHandlingDone();
    orneh::platform::SetSeTranslator(&ExSeTranslator);
    orneh::runtime::CallTerminateFunctions();
    return 1;
}

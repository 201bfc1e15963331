#include "runtime/last_resort.h"

#include <csignal>
#include <exception>

#include "OrnEhBasis.h"
#include "OrnEhSEH.h"
#include "journal/journal.h"
#include "platform/fault_translator.h"
#include "platform/signals.h"
#include "runtime/admin.h"
#include "runtime/boundary.h"
#include "runtime/plain_record.h"
#include "runtime/se_translator.h"
#include "runtime/terminate_functions.h"

namespace ap = orneh::platform;

namespace {

// Set once the terminate handler has begun in this thread: a second entry
// (an unwind the handler's own steps could not stop, such as pthread_exit in
// an application's Log override, reaches std::terminate again) ends the
// process instead of writing the records again.
thread_local bool t_inTerminateHandler = false;

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

// After the records: one thread (the first) calls the terminate functions,
// which are the application's and not bounded, and ends the process once
// the other threads' records are written; any other thread waits here.
void EndAfterRecords() {
    ap::LastResortRecordsWritten();
    // A fault in a terminate function is thrown to the catch around it, so
    // the others still run.
    ap::SetSeTranslator(&ExSeTranslator);
    orneh::runtime::CallTerminateFunctions();
    ap::WaitForLastResortRecords();
}

}  // namespace

void ExTerminateHandler() {
    if (t_inTerminateHandler) {
        ap::WaitForLastResortRecords();
        return;
    }
    t_inTerminateHandler = true;
    ap::BeginLastResort(SIGABRT);
    ap::CallStack stack;
    orneh::runtime::CaptureTerminateStack(stack);
    orneh::runtime::WritePlainTerminateRecord(stack);
    orneh::journal::LastResortScope lastResort;
    orneh::Boundary([&] {
        // An exception of ours that nobody caught (a translated fault among
        // them) still leaves its chain, register dump included, in the log.
        OrnEhBasis* pending = PendingException();
        orneh::runtime::WriteTerminateStackNames(pending, stack);
        ExContainer* container = GetCurrentContainer();
        if (pending || (container && container->GetLast())) OrnEhBasis::Log(nullptr, pending, 0);
        OrnEhBasis::Release();
    });
    EndAfterRecords();
}

// The fault handler has written the emergency texts and the fault's plain
// record before it calls the filter.
long ExUnhandledExceptionFilter(EXCEPTION_POINTERS* pointers) {
    orneh::journal::LastResortScope lastResort;
    orneh::Boundary([&] {
        GetAdmin();
        new OrnEhSEH(pointers, 1);
        OrnEhBasis::Log(nullptr, nullptr, 1);
        OrnEhBasis::Release();
    });
    EndAfterRecords();
    return 1;
}

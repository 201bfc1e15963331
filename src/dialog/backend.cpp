#include "dialog/backend.h"

#include <atomic>

namespace orneh {
namespace dialog {
namespace {
std::atomic<Backend*> g_testBackend{nullptr};
}

void SetBackendForTesting(Backend* backend) { g_testBackend.store(backend); }

Backend& ChooseBackend() {
    if (Backend* backend = g_testBackend.load()) return *backend;
    // Only the headless backend exists so far; every choice comes to it.
    return HeadlessBackend();
}

}  // namespace dialog
}  // namespace orneh

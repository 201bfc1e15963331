#include "compat/OrnEhWnd.h"

#include <atomic>

namespace {
std::atomic<CWnd*> g_mainWindow{nullptr};
}

CWnd::CWnd() : m_hWnd(nullptr) {}
CWnd::CWnd(HWND hWnd) : m_hWnd(hWnd) {}

CWnd::~CWnd() {
    // A main window that goes away is no longer the main window.
    CWnd* self = this;
    g_mainWindow.compare_exchange_strong(self, nullptr);
}

LRESULT CWnd::SendMessage(UINT message, WPARAM wParam, LPARAM lParam) {
    return WindowProc(message, wParam, lParam);
}

LRESULT CWnd::WindowProc(UINT, WPARAM, LPARAM) { return 0; }

CWnd* AfxGetMainWnd() { return g_mainWindow.load(); }

CWnd* OrnEhSetMainWnd(CWnd* window) { return g_mainWindow.exchange(window); }

#include "mutex_turn.h"

#include "wide_text.h"

#include <windows.h>

MutexTurn::MutexTurn(std::wstring name)
{
    m_mutex = CreateMutexW(nullptr, FALSE, name.c_str());
    if (!m_mutex && GetLastError() == ERROR_ACCESS_DENIED) {
        // Made by another user, who did not let us in: this session's own turn is still worth
        // having.
        const std::wstring local = L"Local\\" + name.substr(name.find(L'\\') + 1);
        m_mutex = CreateMutexW(nullptr, FALSE, local.c_str());
    }
    if (!m_mutex) {
        m_unavailable = true;
        m_error = "sem vez para esperar: " + wide::errorText(GetLastError());
    }
}

MutexTurn::~MutexTurn()
{
    release();
    if (m_mutex)
        CloseHandle(m_mutex);
}

Turn::Result MutexTurn::tryTake()
{
    if (m_unavailable)
        return Result::Unavailable;
    if (m_held)
        return Result::Taken;
    switch (WaitForSingleObject(m_mutex, 0)) {
    case WAIT_OBJECT_0:
    case WAIT_ABANDONED: // its holder ended without releasing: ours now
        m_held = true;
        return Result::Taken;
    case WAIT_TIMEOUT:
        return Result::Busy;
    default:
        m_error = "a vez não pôde ser tomada: " + wide::errorText(GetLastError());
        return Result::Failed;
    }
}

void MutexTurn::release()
{
    if (m_held)
        ReleaseMutex(m_mutex);
    m_held = false;
}

#include "win32/mutex_turn.h"

#include "win32/wide_text.h"

#include <windows.h>

#include <sddl.h>

namespace {

// All a turn needs: to wait on the mutex and to release it. A mutex another account made is
// opened asking no more, which is what its access list lets every user have.
constexpr DWORD kAccess = SYNCHRONIZE | MUTEX_MODIFY_STATE;
// Every user of the PC takes turns, a scheduled task as SYSTEM and a logged-on user alike.
const wchar_t kEveryoneTakesTurns[] = L"D:(A;;0x00100001;;;WD)";
static_assert(kAccess == 0x00100001, "the access list grants what is asked");

} // namespace

// Opened at the first tryTake: a window, which takes no turn, never makes the mutex.
MutexTurn::MutexTurn(std::wstring name) : m_name(std::move(name)) {}

MutexTurn::~MutexTurn()
{
    release();
    if (m_mutex)
        CloseHandle(m_mutex);
}

// False while the name cannot be had; m_error says why where that is not another's turn.
bool MutexTurn::open()
{
    PSECURITY_DESCRIPTOR descriptor = nullptr;
    ConvertStringSecurityDescriptorToSecurityDescriptorW(kEveryoneTakesTurns, SDDL_REVISION_1,
                                                         &descriptor, nullptr);
    SECURITY_ATTRIBUTES attributes{sizeof attributes, descriptor, FALSE};
    m_mutex = CreateMutexExW(descriptor ? &attributes : nullptr, m_name.c_str(), 0, kAccess);
    const DWORD code = GetLastError();
    LocalFree(descriptor);
    m_refusal = m_mutex ? 0 : code;
    // Another kind of object under the name (ERROR_INVALID_HANDLE), or a mutex that lets us
    // not in: someone else's, held as long as it is there.
    if (!m_mutex && code != ERROR_INVALID_HANDLE && code != ERROR_ACCESS_DENIED)
        m_error =
            "o mutex " + wide::toUtf8(m_name) + " não pôde ser criado: " + wide::errorText(code);
    return m_mutex != nullptr;
}

Turn::Result MutexTurn::tryTake()
{
    if (m_held)
        return Result::Taken;
    if (!m_mutex && !open())
        return m_refusal == ERROR_INVALID_HANDLE || m_refusal == ERROR_ACCESS_DENIED
                   ? Result::Busy
                   : Result::Failed;
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

std::string MutexTurn::holder() const
{
    const std::string name = wide::toUtf8(m_name);
    switch (m_refusal) {
    case ERROR_INVALID_HANDLE:
        return "outro programa (que usa o nome " + name + " para outra coisa)";
    case ERROR_ACCESS_DENIED:
        return "outro programa (dono de " + name + ", que nos nega acesso)";
    default:
        return "outro Comutel.exe";
    }
}

// Command-mode runs take turns through a named mutex, so batch files started together queue up
// instead of finding the port busy. Taking never blocks (the controller asks again on its
// timer); a mutex left by a run that was killed counts as taken, as Windows hands it over.
#pragma once

#include "core/turn.h"

#include <string>

class MutexTurn : public Turn
{
public:
    static constexpr const wchar_t *kName = L"comutel-vez";

    // "Global\\" so that a scheduled task and a logged-on user's batch file share one turn;
    // tests give their own name.
    explicit MutexTurn(std::wstring name = std::wstring(L"Global\\") + kName);
    ~MutexTurn() override;
    MutexTurn(const MutexTurn &) = delete;
    MutexTurn &operator=(const MutexTurn &) = delete;

    Result tryTake() override;
    void release() override;
    std::string errorString() const override { return m_error; }
    std::string holder() const override;

    // The mutex, once it could be had: for a look at what was granted.
    void *handle() const { return m_mutex; }

private:
    bool open();

    std::wstring m_name;
    void *m_mutex = nullptr;
    bool m_held = false;
    unsigned long m_refusal = 0; // why the name is not ours to use, while it is not
    std::string m_error;
};

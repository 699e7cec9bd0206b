// The Windows shell's own units, run under Wine: what a port that will not open says (busy,
// missing, not a serial port), turns through the named mutex (held, released, abandoned),
// log.txt replaced whole, the command's bytes in code page 1252, COM names, and the loop
// delivering a signalled handle and ending.
#include "command_line.h"
#include "mutex_turn.h"
#include "native_window.h"
#include "port_listing.h"
#include "reply_log_file.h"
#include "wide_text.h"
#include "win32_code_page.h"
#include "win32_comm_port.h"
#include "win32_loop.h"
#include "win32_standard_streams.h"

#include <doctest/doctest.h>

#include <windows.h>

#include <filesystem>
#include <thread>

namespace {

// A scratch folder of the test's own, under the Wine prefix's temporary folder.
struct Scratch
{
    const std::wstring path = (std::filesystem::temp_directory_path() /
                               (L"comutel-test-" + std::to_wstring(GetCurrentProcessId()) + L"-" +
                                std::to_wstring(GetTickCount64())))
                                  .wstring();
    Scratch() { std::filesystem::create_directory(path); }
    ~Scratch()
    {
        std::error_code ignored; // a destructor must not throw
        std::filesystem::remove_all(path, ignored);
    }
    std::wstring file(const wchar_t *name) const { return path + L"\\" + name; }
};

HANDLE createFile(const std::wstring &path, DWORD share = 0)
{
    return CreateFileW(path.c_str(), GENERIC_READ | GENERIC_WRITE, share, nullptr, OPEN_ALWAYS,
                       FILE_ATTRIBUTE_NORMAL, nullptr);
}

std::string contents(const std::wstring &path)
{
    const HANDLE file = CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr,
                                    OPEN_EXISTING, 0, nullptr);
    char buffer[256];
    DWORD got = 0;
    ReadFile(file, buffer, sizeof buffer, &got, nullptr);
    CloseHandle(file);
    return std::string(buffer, got);
}

struct NoWatcher : HandleWatcher
{
    int watching = 0;
    void watch(void *, std::function<void()>) override { ++watching; }
    void unwatch(void *) override {}
};

} // namespace

TEST_CASE("a port that will not open stays closed and says why, if a user could act on it")
{
    Scratch scratch;
    const std::wstring busy = scratch.file(L"busy"), plain = scratch.file(L"plain");
    const HANDLE holder = createFile(busy); // no sharing: as another program holding a COM port
    CloseHandle(createFile(plain));
    struct Row
    {
        std::wstring device;
        const char *problem; // in openProblem(); null: none at all
    };
    const Row rows[] = {
        {scratch.file(L"missing"), nullptr},
        {busy, "COM7 está em uso por outro programa"},
        {plain, "COM7: não é uma porta serial"},
    };
    for (const Row &row : rows) {
        CAPTURE(wide::toUtf8(row.device));
        NoWatcher watcher;
        Win32CommPort port(watcher, std::nullopt, [&row](int) { return row.device; });
        REQUIRE(port.configure(CommSettings{}));
        REQUIRE(port.setCommPort(7));
        CHECK_FALSE(port.setPortOpen(true));
        CHECK_FALSE(port.portOpen());
        CHECK_FALSE(port.output("1"));
        CHECK(watcher.watching == 0);
        if (row.problem)
            CHECK(port.openProblem().find(row.problem) == 0);
        else
            CHECK(port.openProblem().empty());
    }
    CloseHandle(holder);
}

TEST_CASE("the port takes only the line it can set and the numbers Windows has")
{
    NoWatcher watcher;
    Win32CommPort port(watcher);
    CommSettings odd;
    odd.Settings = "300,x,8,1";
    CHECK_FALSE(port.configure(odd));
    CHECK(port.configure(CommSettings{}));
    CHECK(port.settings() == "300,n,8,1");
    CHECK_FALSE(port.setCommPort(0));
    CHECK_FALSE(port.setCommPort(256));
    CHECK(port.setCommPort(255));
}

TEST_CASE("turns: busy while another holds the mutex, taken once it is released or abandoned")
{
    const std::wstring name = L"Local\\comutel-test-" + std::to_wstring(GetCurrentProcessId());
    for (const bool abandon : {false, true}) {
        CAPTURE(abandon);
        const HANDLE held = CreateEventW(nullptr, TRUE, FALSE, nullptr);
        const HANDLE letGo = CreateEventW(nullptr, TRUE, FALSE, nullptr);
        // Another run, on a thread of its own: Windows hands a mutex back to its owner thread.
        std::thread other([&] {
            const HANDLE mutex = CreateMutexW(nullptr, TRUE, name.c_str());
            SetEvent(held);
            WaitForSingleObject(letGo, INFINITE);
            if (!abandon)
                ReleaseMutex(mutex);
            CloseHandle(mutex); // ending without a release abandons it
        });
        WaitForSingleObject(held, INFINITE);
        MutexTurn turn(name);
        CHECK(turn.tryTake() == Turn::Result::Busy);
        SetEvent(letGo);
        other.join();
        CHECK(turn.tryTake() == Turn::Result::Taken);
        turn.release();
        CloseHandle(held);
        CloseHandle(letGo);
    }
}

TEST_CASE("log.txt is replaced whole, also while a reader has it open; a failure names it")
{
    Scratch scratch;
    ReplyLogFile log(scratch.path);
    REQUIRE(log.write("-"));
    CHECK(contents(log.path()) == "-\r\n");
    // A reader that lets others replace the file keeps reading the old line; one that lets it
    // be written only (as cmd's "type" and "set /p" do) has it written over. Either way the
    // next reader gets the whole new line.
    for (const DWORD share : {FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                              FILE_SHARE_READ | FILE_SHARE_WRITE}) {
        const HANDLE reader = CreateFileW(log.path().c_str(), GENERIC_READ, share, nullptr,
                                          OPEN_EXISTING, 0, nullptr);
        REQUIRE_MESSAGE(log.write("0101\r\n"), log.errorString());
        CloseHandle(reader);
        CHECK(contents(log.path()) == "0101\r\n\r\n");
        REQUIRE(log.write("-"));
    }

    // A temporary file of a writer that was killed goes; one whose writer still runs stays.
    const std::wstring dead = scratch.file(L".log.txt.99999.1.tmp");
    const std::wstring live = scratch.file(L".log.txt.99998.1.tmp");
    CloseHandle(createFile(dead));
    const HANDLE writer = createFile(live, FILE_SHARE_READ | FILE_SHARE_WRITE);
    ReplyLogFile later(scratch.path);
    REQUIRE(later.write("-"));
    CHECK(GetFileAttributesW(dead.c_str()) == INVALID_FILE_ATTRIBUTES);
    CHECK(GetFileAttributesW(live.c_str()) != INVALID_FILE_ATTRIBUTES);
    CloseHandle(writer);

    // A folder that cannot take log.txt fails with a line naming the file.
    ReplyLogFile missing(scratch.file(L"não existe"));
    CHECK_FALSE(missing.write("-"));
    CHECK(missing.errorString().find("não existe\\log.txt") != std::string::npos);
}

TEST_CASE("each character of the command upper-cased on its own, one byte of code page 1252")
{
    REQUIRE(GetACP() == 1252); // the prefix's code page, as on a Brazilian Windows
    const Win32CodePage page;
    const struct
    {
        char32_t in;
        unsigned char out;
    } rows[] = {
        {U'e', 'E'},  {U'1', '1'},      {U'ç', 0xc7},  {U'ã', 0xc3}, {U'ÿ', 0x9f},
        {U'ß', 0xdf}, {U'€', 0x80},     {U'œ', 0x8c},  {U'Ā', '?'},  {U'ā', '?'},
        {U'😀', '?'},  {U'\u0301', '?'}, {U'\t', '\t'},
    };
    for (const auto &row : rows) {
        CAPTURE(unsigned(row.in));
        CHECK(static_cast<unsigned char>(page.commandByte(row.in)) == row.out);
    }
    CHECK(page.textOf(0x80) == "€");
    CHECK(page.textOf(0xe9) == "é");
}

TEST_CASE("COM names: what COMUTEL_DEVICE and the registry may say")
{
    const struct
    {
        const char *name;
        int number; // 0: not a COM port
    } rows[] = {
        {"COM5", 5}, {"com12", 12}, {"\\\\.\\COM30", 30}, {"COM255", 255},   {"COM256", 0},
        {"COM0", 0}, {"COM05", 0},  {"COM", 0},           {"/dev/ttyS0", 0}, {"COM5 ", 0},
    };
    for (const auto &row : rows) {
        CAPTURE(row.name);
        CHECK(ports::comNumber(row.name).value_or(0) == row.number);
    }
}

TEST_CASE("the loop runs a signalled handle's handler, stops a timer at once, and ends")
{
    Win32Loop loop;
    const HANDLE event = CreateEventW(nullptr, TRUE, TRUE, nullptr);
    int ticks = 0;
    std::unique_ptr<Timer> timer;
    timer = loop.createTimer([&] {
        ++ticks;
        timer->stop();
        loop.end(7); // the end comes once this handler has returned
    });
    loop.watch(event, [&] {
        ResetEvent(event);
        timer->start(std::chrono::milliseconds(1));
    });
    CHECK(loop.run() == 7);
    CHECK(ticks == 1);
    CHECK_FALSE(timer->isActive());
    CloseHandle(event);
}

TEST_CASE("the command parameter: Windows' splitting rules, the words joined by one space")
{
    const struct
    {
        const wchar_t *line;
        const char *parameter;
    } rows[] = {
        {L"Comutel.exe", ""},
        {L"Comutel.exe 1", "1"},
        {L"\"C:\\Program Files\\x\\Comutel.exe\" e", "e"},
        {L"Comutel.exe   r5  ", "r5"},
        {L"Comutel.exe Liga  o\trelé", "Liga o relé"},
        {L"Comutel.exe \"a  b\"", "a  b"},
        {L"Comutel.exe a\\\"b", "a\"b"},
        {L"Comutel.exe a\\\\\"b c\"", "a\\b c"},
        {L"Comutel.exe a\\b", "a\\b"},
        {L"Comutel.exe \"\"", ""},
        {L"Comutel.exe \"say \"\"hi\"\"\"", "say \"hi\""},
    };
    for (const auto &row : rows) {
        CAPTURE(wide::toUtf8(row.line));
        CHECK(commandline::parameter(row.line) == row.parameter);
    }
}

TEST_CASE("a caller that never reads its standard output holds the run up a second at most")
{
    HANDLE readEnd = nullptr, writeEnd = nullptr;
    REQUIRE(CreatePipe(&readEnd, &writeEnd, nullptr, 64));
    const HANDLE saved = GetStdHandle(STD_OUTPUT_HANDLE);
    SetStdHandle(STD_OUTPUT_HANDLE, writeEnd);
    Win32StandardStreams streams;
    // Far more than the pipe holds: without a bound this would wait for ever (ctest's time-out).
    streams.writeOut(std::string(1 << 20, 'x') + "\n");
    CHECK_FALSE(streams.writeOutText(std::string(1 << 20, 'y')));
    SetStdHandle(STD_OUTPUT_HANDLE, saved);
    CloseHandle(readEnd);
    CloseHandle(writeEnd);
}

TEST_CASE("the window: client area from twips at the screen's DPI, the labels the controller sets")
{
    NativeWindow window(GetModuleHandleW(nullptr));
    window.setLabel1("Conectado em COM 2", Window::Colour::Green);
    window.setLabel3("Baudrate: 300 bp/s");
    window.setVisible(true);
    const HWND frame = FindWindowW(L"ComutelMainWindow", NativeWindow::kTitle);
    REQUIRE(frame);
    const HDC screen = GetDC(nullptr);
    const int dpi = GetDeviceCaps(screen, LOGPIXELSY);
    ReleaseDC(nullptr, screen);
    RECT client{};
    GetClientRect(frame, &client);
    // 5145 x 9300 twips: 343 x 620 pixels at 96 DPI, 515 x 930 at 144.
    CHECK(client.right == MulDiv(5145, dpi, 1440));
    CHECK(client.bottom == MulDiv(9300, dpi, 1440));
    // Texts set before the controls existed are there once they do, and later ones replace them.
    CHECK(FindWindowExW(frame, nullptr, L"STATIC", L"Conectado em COM 2"));
    window.setLabel8("0101");
    CHECK(FindWindowExW(frame, nullptr, L"STATIC", L"0101"));
    CHECK(FindWindowExW(frame, nullptr, L"STATIC", L"Baudrate: 300 bp/s"));
    CHECK_FALSE(FindWindowExW(frame, nullptr, L"STATIC", L"Comutel.exe 1"));
}

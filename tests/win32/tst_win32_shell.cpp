// The Windows shell's own units, run under Wine: what a port that will not open says (busy,
// missing, not a serial port), turns through the named mutex (held, released, abandoned, its
// name taken, what it asks and grants), log.txt replaced whole, the command's bytes in code page
// 1252, COM names, the window (its close requests too) and its boxes.
#include "core/form.h"
#include "win32/command_line.h"
#include "win32/mutex_turn.h"
#include "win32/native_window.h"
#include "win32/port_listing.h"
#include "win32/reply_log_file.h"
#include "win32/wide_text.h"
#include "win32/win32_code_page.h"
#include "win32/win32_comm_port.h"
#include "win32/win32_loop.h"
#include "win32/win32_standard_streams.h"

#include <doctest/doctest.h>

#include <windows.h>

#include <aclapi.h>
#include <sddl.h>
#include <winternl.h>

#include <filesystem>
#include <set>
#include <thread>
#include <tuple>

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
    const struct
    {
        std::wstring device;
        const char *problem; // how openProblem() begins; "": it says nothing at all
    } rows[] = {
        {scratch.file(L"missing"), ""},
        {busy, "COM7 está em uso por outro programa"},
        {plain, "COM7: não é uma porta serial"},
    };
    for (const auto &row : rows) {
        CAPTURE(wide::toUtf8(row.device));
        NoWatcher watcher;
        Win32CommPort port(watcher, [&row](int) { return row.device; });
        REQUIRE(port.configure(CommSettings{}));
        REQUIRE(port.setCommPort(7));
        CHECK_FALSE(port.setPortOpen(true));
        CHECK_FALSE(port.portOpen());
        CHECK_FALSE(port.output("1"));
        CHECK(watcher.watching == 0);
        CHECK(port.openProblem().rfind(row.problem, 0) == 0);
        CHECK(port.openProblem().empty() == !*row.problem);
    }
    CloseHandle(holder);
}

TEST_CASE(
    "turns: busy while another holds the mutex or squats its name; taken once it is released, "
    "abandoned or gone; waiting and releasing all asked, and what every user may do")
{
    using Query = LONG(NTAPI *)(HANDLE, OBJECT_INFORMATION_CLASS, void *, ULONG, ULONG *);
    const auto query = reinterpret_cast<Query>(
        reinterpret_cast<void *>(GetProcAddress(GetModuleHandleW(L"ntdll.dll"), "NtQueryObject")));
    const std::wstring name = L"Local\\comutel-test-" + std::to_wstring(GetCurrentProcessId());
    for (const int how : {0, 1, 2}) { // the other releases, abandons, or an event squats the name
        CAPTURE(how);
        const HANDLE held = CreateEventW(nullptr, TRUE, FALSE, nullptr);
        const HANDLE letGo = CreateEventW(nullptr, TRUE, FALSE, nullptr);
        // Another run, on a thread of its own: Windows hands a mutex back to its owner thread.
        std::thread other([&] {
            const HANDLE object = how == 2 ? CreateEventW(nullptr, TRUE, FALSE, name.c_str())
                                           : CreateMutexW(nullptr, TRUE, name.c_str());
            SetEvent(held);
            WaitForSingleObject(letGo, INFINITE);
            if (how == 0)
                ReleaseMutex(object);
            CloseHandle(object); // ending without a release abandons it
        });
        WaitForSingleObject(held, INFINITE);
        MutexTurn turn(name);
        CHECK(turn.tryTake() == Turn::Result::Busy);
        // The time-out's line names what squats the name.
        CHECK((turn.holder().find(wide::toUtf8(name)) != std::string::npos) == (how == 2));
        SetEvent(letGo);
        other.join();
        CHECK(turn.tryTake() == Turn::Result::Taken);
        // Another's mutex (another account's default access list grants others no more than
        // this; Wine enforces none), or, once the event is gone, one of our own.
        PUBLIC_OBJECT_BASIC_INFORMATION basic{};
        REQUIRE(query(turn.handle(), ObjectBasicInformation, &basic, sizeof basic, nullptr) == 0);
        CHECK(basic.GrantedAccess == (SYNCHRONIZE | MUTEX_MODIFY_STATE));
        CloseHandle(held);
        CloseHandle(letGo);
        if (how < 2)
            continue;
        const HANDLE look = OpenMutexW(READ_CONTROL, FALSE, name.c_str());
        PSECURITY_DESCRIPTOR descriptor = nullptr;
        wchar_t *list = nullptr;
        REQUIRE(GetSecurityInfo(look, SE_KERNEL_OBJECT, DACL_SECURITY_INFORMATION, nullptr, nullptr,
                                nullptr, nullptr, &descriptor) == ERROR_SUCCESS);
        REQUIRE(ConvertSecurityDescriptorToStringSecurityDescriptorW(
            descriptor, SDDL_REVISION_1, DACL_SECURITY_INFORMATION, &list, nullptr));
        CHECK(std::wstring(list) == L"D:(A;;0x100001;;;WD)"); // Everyone: wait, release; no more
        LocalFree(list);
        LocalFree(descriptor);
        CloseHandle(look);
    }
}

TEST_CASE("log.txt is replaced whole, also while a reader has it open, never through a second "
          "name; a failure names it")
{
    Scratch scratch;
    // Names taken that cannot be removed (a dead run's of our PID, another user's): passed over.
    const auto temporary = [&scratch](DWORD pid, int n) {
        return scratch.path + L"\\.log.txt." + std::to_wstring(pid) + L"." + std::to_wstring(n) +
               L".tmp";
    };
    std::vector<HANDLE> taken;
    for (int n = 1; n <= 32; ++n)
        taken.push_back(createFile(temporary(GetCurrentProcessId(), n)));
    ReplyLogFile log(wide::toUtf8(scratch.path));
    const std::wstring path = wide::fromUtf8(log.path());
    REQUIRE_MESSAGE(log.write("-"), log.errorString());
    CHECK(contents(path) == "-\r\n");
    for (const HANDLE file : taken)
        CloseHandle(file);
    // A reader that lets it be replaced reads the old line; one that lets it be written only (as
    // cmd's "type" does) has it written over, unless log.txt is another file's second name.
    const std::wstring other = scratch.file(L"outro nome");
    const DWORD all = FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE;
    const DWORD noDelete = all & ~FILE_SHARE_DELETE;
    for (const auto &[share, linked] :
         {std::pair{all, false}, {noDelete, false}, {noDelete, true}}) {
        CAPTURE(linked);
        REQUIRE((!linked || CreateHardLinkW(other.c_str(), path.c_str(), nullptr)));
        const HANDLE reader =
            CreateFileW(path.c_str(), GENERIC_READ, share, nullptr, OPEN_EXISTING, 0, nullptr);
        CHECK(log.write("0101\r\n") == !linked);
        CloseHandle(reader);
        CHECK(contents(path) == (linked ? "-\r\n" : "0101\r\n\r\n"));
        CHECK((log.errorString().find("vínculo físico") != std::string::npos) == linked);
        REQUIRE(log.write("-"));
    }
    CHECK(contents(other) == "-\r\n");

    // A temporary file of a writer that was killed goes; one of a writer that still runs stays,
    // though closed (as while it retries the replacement).
    DWORD runs = 0; // the desktop's process
    GetWindowThreadProcessId(GetDesktopWindow(), &runs);
    const std::wstring dead = temporary(99999, 1), live = temporary(runs, 1);
    CloseHandle(createFile(dead));
    CloseHandle(createFile(live));
    REQUIRE(ReplyLogFile(wide::toUtf8(scratch.path)).write("-"));
    CHECK(GetFileAttributesW(dead.c_str()) == INVALID_FILE_ATTRIBUTES);
    CHECK(GetFileAttributesW(live.c_str()) != INVALID_FILE_ATTRIBUTES);

    // A folder that cannot take log.txt fails with a line naming the file.
    ReplyLogFile missing(wide::toUtf8(scratch.file(L"não existe")));
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
        {U'ÿ', 0x9f}, {U'ß', 0xdf}, {U'€', 0x80},  {U'œ', 0x8c},     {U'Ā', '?'},
        {U'ā', '?'},  {U'😀', '?'},  {U'\t', '\t'}, {U'\u0301', '?'},
    };
    for (const auto &row : rows) {
        CAPTURE(unsigned(row.in));
        CHECK(static_cast<unsigned char>(page.commandByte(row.in)) == row.out);
    }
    CHECK(page.textOf(0x80) == "€");
    CHECK(page.textOf(0xe9) == "é");
}

TEST_CASE("what the caller gives: COM names as COMUTEL_DEVICE and the registry may say them, and "
          "the command line")
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
    // The command parameter: Windows' splitting rules, the words joined by one space.
    const struct
    {
        const wchar_t *line;
        const char *parameter;
    } lines[] = {
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
    for (const auto &row : lines) {
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

TEST_CASE("the window: the form's table at the screen's DPI, every text within its control under "
          "the fonts that stand in; the labels the controller sets, its boxes")
{
    NativeWindow window(GetModuleHandleW(nullptr));
    const HWND frame = FindWindowW(L"ComutelMainWindow", wide::fromUtf8(form::kTitle).c_str());
    REQUIRE(frame);
    // The display's scale changes while the window is hidden, its form not yet made (as in
    // command mode): the form comes later at the DPI of its time.
    RECT suggested{0, 0, 600, 1000};
    SendMessageW(frame, WM_DPICHANGED, MAKEWPARAM(144, 144), reinterpret_cast<LPARAM>(&suggested));
    // Closing it, as taskkill and a log-off ask of a command's run: the controller is told.
    int closeRequests = 0;
    window.setCloseHandler([&closeRequests] { ++closeRequests; });
    SendMessageW(frame, WM_CLOSE, 0, 0);
    SendMessageW(frame, WM_ENDSESSION, TRUE, 0);
    CHECK(closeRequests == 2);
    window.setLabel1("Conectado em COM 30", Window::Colour::Green); // the widest texts it sets
    window.setLabel3("Baudrate: 300 bp/s");
    window.setVisible(true);
    const HDC screen = GetDC(nullptr);
    const int dpi = GetDeviceCaps(screen, LOGPIXELSY);
    ReleaseDC(nullptr, screen);
    const auto px = [dpi](int twips) { return MulDiv(twips, dpi, 1440); };
    RECT client{};
    GetClientRect(frame, &client);
    // 5145 x 9300 twips: 343 x 620 pixels at 96 DPI, 515 x 930 at 144.
    CHECK(client.right == px(form::kClientWidth));
    CHECK(client.bottom == px(form::kClientHeight));
    for (const form::Control &control : form::kControls) {
        CAPTURE(std::string(control.name));
        const HWND drawn = window.form().handle(control.name);
        const form::Place &p = control.place;
        RECT at{}, wanted{px(p.left), px(p.top), px(p.left) + px(p.width),
                          px(p.top) + (control.kind == form::Kind::Line ? 1 : px(p.height))};
        REQUIRE(GetWindowRect(drawn, &at));
        MapWindowPoints(nullptr, frame, reinterpret_cast<POINT *>(&at), 2);
        CHECK(EqualRect(&at, &wanted));
        if (control.kind != form::Kind::Label)
            continue;
        const auto font = reinterpret_cast<HFONT>(SendMessageW(drawn, WM_GETFONT, 0, 0));
        LOGFONTW style{};
        GetObjectW(font, sizeof style, &style);
        CHECK(wide::toUtf8(style.lfFaceName) == control.font.family);
        CHECK(std::tuple(style.lfHeight, style.lfWeight, bool(style.lfUnderline)) ==
              std::tuple(-px(int(control.font.points * 20)), LONG(control.font.weight),
                         control.font.underline));
        // No room past the window's edge, which lblTitle reaches beyond.
        RECT room{0, 0, std::min(at.right, client.right) - at.left, at.bottom - at.top},
            needed = room;
        wchar_t text[512] = {};
        GetWindowTextW(drawn, text, 512);
        const HDC dc = GetDC(drawn);
        SelectObject(dc, font);
        DrawTextW(dc, text, -1, &needed, DT_CALCRECT | DT_WORDBREAK | DT_NOPREFIX);
        ReleaseDC(drawn, dc);
        CHECK((needed.right <= room.right && needed.bottom <= room.bottom));
    }
    // Texts set before the controls existed are there once they do, and later ones replace them.
    CHECK(FindWindowExW(frame, nullptr, L"STATIC", L"Conectado em COM 30"));
    window.setLabel8("0101");
    CHECK(FindWindowExW(frame, nullptr, L"STATIC", L"0101"));
    CHECK(FindWindowExW(frame, nullptr, L"STATIC", L"Baudrate: 300 bp/s"));
    CHECK_FALSE(FindWindowExW(frame, nullptr, L"STATIC", L"Comutel.exe 1"));
    // The boxes: the advice with OK and Cancel and nothing more; a failure with OK, the error
    // icon and its lines.
    for (const bool advice : {true, false}) {
        CAPTURE(advice);
        std::set<int> buttons; // the visible ones
        LRESULT icon = 0;
        wchar_t text[64] = {};
        std::thread looker([&] {
            HWND box = nullptr; // once shown, its controls are set
            for (int i = 0; i < 6000 && !IsWindowVisible(box); ++i, Sleep(10))
                box = FindWindowW(L"#32770", advice ? L"Ravelto" : L"Comutel");
            for (int id = IDOK; id <= IDCONTINUE; ++id)
                if (IsWindowVisible(GetDlgItem(box, id)))
                    buttons.insert(id);
            icon = SendDlgItemMessageW(box, 1088, STM_GETICON, 0, 0); // Wine's icon, 20 on Windows
            GetDlgItemTextW(box, 0xffff, text, 64);
            PostMessageW(box, WM_COMMAND, IDOK, 0);
        });
        if (advice)
            window.showMessageBox("Ravelto", "O Windows não pôde");
        else
            window.showFailure("Comutel", "não foi possível gravar\r\nfaça isto");
        looker.join();
        CHECK(buttons == (advice ? std::set<int>{IDOK, IDCANCEL} : std::set<int>{IDOK}));
        CHECK(bool(icon) == !advice);
        CHECK(std::wstring(text) ==
              (advice ? L"O Windows não pôde" : L"não foi possível gravar\r\nfaça isto"));
    }
}

#include "win32/native_window.h"

#include "win32/resource_ids.h"
#include "win32/wide_text.h"

#include <commctrl.h>

namespace {

const wchar_t kClass[] = L"ComutelMainWindow";
// The labels the controller writes, by their slot in m_texts.
constexpr const char *kWritten[] = {"Label1", "Label3", "Label8"};
constexpr DWORD kStyle = WS_OVERLAPPED | WS_CAPTION | WS_SYSMENU | WS_MINIMIZEBOX;

// Functions of Windows 10 1607 and later, looked up so that older systems still start.
template <typename Function> Function user32(const char *name)
{
    return reinterpret_cast<Function>(
        reinterpret_cast<void *>(GetProcAddress(GetModuleHandleW(L"user32.dll"), name)));
}

// The tooltips, from the common controls of the manifest's version 6. Loaded only for the
// window: under Wine, importing comctl32 and shell32 costs a command-mode run some 100 ms.
void loadCommonControls()
{
    using Init = BOOL(WINAPI *)(const INITCOMMONCONTROLSEX *);
    const HMODULE library = LoadLibraryW(L"comctl32.dll");
    const auto init = reinterpret_cast<Init>(
        reinterpret_cast<void *>(GetProcAddress(library, "InitCommonControlsEx")));
    const INITCOMMONCONTROLSEX controls{sizeof(INITCOMMONCONTROLSEX), ICC_WIN95_CLASSES};
    if (init)
        init(&controls);
}

void openLink(HWND window, const char *link)
{
    using Execute = HINSTANCE(WINAPI *)(HWND, LPCWSTR, LPCWSTR, LPCWSTR, LPCWSTR, INT);
    const HMODULE library = LoadLibraryW(L"shell32.dll");
    if (const auto execute = reinterpret_cast<Execute>(
            reinterpret_cast<void *>(GetProcAddress(library, "ShellExecuteW"))))
        execute(window, L"open", wide::fromUtf8(link).c_str(), nullptr, nullptr, SW_SHOWNORMAL);
}

} // namespace

NativeWindow::NativeWindow(HINSTANCE instance) : m_instance(instance)
{
    for (int slot = 0; slot < 3; ++slot)
        m_texts[slot] = wide::fromUtf8(form::control(kWritten[slot]).text);
    m_background = CreateSolidBrush(GetSysColor(COLOR_HIGHLIGHTTEXT));
    WNDCLASSEXW windowClass{};
    windowClass.cbSize = sizeof windowClass;
    windowClass.lpfnWndProc = procedure;
    windowClass.hInstance = instance;
    windowClass.hIcon = LoadIconW(instance, MAKEINTRESOURCEW(IDI_COMUTEL));
    windowClass.hCursor = LoadCursorW(nullptr, IDC_ARROW);
    windowClass.hbrBackground = m_background;
    windowClass.lpszClassName = kClass;
    RegisterClassExW(&windowClass);
    m_window =
        CreateWindowExW(0, kClass, wide::fromUtf8(form::kTitle).c_str(), kStyle, CW_USEDEFAULT,
                        CW_USEDEFAULT, 0, 0, nullptr, nullptr, instance, this);
}

NativeWindow::~NativeWindow()
{
    if (m_window) {
        SetWindowLongPtrW(m_window, GWLP_USERDATA, 0);
        DestroyWindow(m_window);
    }
    DeleteObject(m_background);
}

unsigned NativeWindow::dpi() const
{
    using GetDpiForWindow = UINT(WINAPI *)(HWND);
    if (const auto forWindow = user32<GetDpiForWindow>("GetDpiForWindow"))
        return forWindow(m_window);
    const HDC screen = GetDC(nullptr);
    const unsigned value = unsigned(GetDeviceCaps(screen, LOGPIXELSY));
    ReleaseDC(nullptr, screen);
    return value;
}

void NativeWindow::resizeFor(unsigned dpi)
{
    RECT frame{0, 0, MainForm::toPixels(form::kClientWidth, dpi),
               MainForm::toPixels(form::kClientHeight, dpi)};
    using AdjustForDpi = BOOL(WINAPI *)(LPRECT, DWORD, BOOL, DWORD, UINT);
    if (const auto adjust = user32<AdjustForDpi>("AdjustWindowRectExForDpi"))
        adjust(&frame, kStyle, FALSE, 0, dpi);
    else
        AdjustWindowRectEx(&frame, kStyle, FALSE, 0);
    SetWindowPos(m_window, nullptr, 0, 0, frame.right - frame.left, frame.bottom - frame.top,
                 SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
}

void NativeWindow::setText(int slot, const std::string &text)
{
    m_texts[slot] = wide::fromUtf8(text);
    if (m_form.created())
        SetWindowTextW(m_form.handle(kWritten[slot]), m_texts[slot].c_str());
}

void NativeWindow::setLabel1(const std::string &text, Colour colour)
{
    m_label1Colour = MainForm::colorRefOf(rgbOf(colour));
    if (m_form.created())
        m_form.setColour("Label1", *m_label1Colour);
    setText(0, text);
}

void NativeWindow::setLabel3(const std::string &text)
{
    setText(1, text);
}

void NativeWindow::setLabel8(const std::string &text)
{
    setText(2, text);
}

void NativeWindow::setVisible(bool visible)
{
    if (visible && !m_form.created()) {
        loadCommonControls();
        const unsigned current = dpi();
        m_form.create(m_window, m_instance, current);
        resizeFor(current);
        for (int slot = 0; slot < 3; ++slot)
            SetWindowTextW(m_form.handle(kWritten[slot]), m_texts[slot].c_str());
        if (m_label1Colour)
            m_form.setColour("Label1", *m_label1Colour);
    }
    ShowWindow(m_window, visible ? SW_SHOW : SW_HIDE);
    if (visible)
        UpdateWindow(m_window);
}

bool NativeWindow::desktopIsVisible()
{
    DWORD session = 0;
    // Services live in session 0, which has no one at its screen since Windows Vista.
    if (ProcessIdToSessionId(GetCurrentProcessId(), &session) && session == 0)
        return false;
    USEROBJECTFLAGS flags{};
    const HWINSTA station = GetProcessWindowStation();
    return !station ||
           !GetUserObjectInformationW(station, UOI_FLAGS, &flags, sizeof flags, nullptr) ||
           (flags.dwFlags & WSF_VISIBLE);
}

void NativeWindow::showMessageBox(const std::string &title, const std::string &text)
{
    if (!desktopIsVisible())
        return;
    // A text, a title, OK and Cancel: no icon, and so no sound.
    MessageBoxW(IsWindowVisible(m_window) ? m_window : nullptr, wide::fromUtf8(text).c_str(),
                wide::fromUtf8(title).c_str(), MB_OKCANCEL | MB_SETFOREGROUND);
}

void NativeWindow::showFailure(const std::string &title, const std::string &text)
{
    if (desktopIsVisible())
        MessageBoxW(nullptr, wide::fromUtf8(text).c_str(), wide::fromUtf8(title).c_str(),
                    MB_OK | MB_ICONERROR | MB_SETFOREGROUND);
}

void NativeWindow::requestClose()
{
    if (m_close)
        m_close();
}

LRESULT CALLBACK NativeWindow::procedure(HWND window, UINT message, WPARAM w, LPARAM l)
{
    if (message == WM_NCCREATE) {
        auto *self =
            static_cast<NativeWindow *>(reinterpret_cast<CREATESTRUCTW *>(l)->lpCreateParams);
        self->m_window = window;
        SetWindowLongPtrW(window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(self));
    }
    auto *self = reinterpret_cast<NativeWindow *>(GetWindowLongPtrW(window, GWLP_USERDATA));
    return self ? self->handle(message, w, l) : DefWindowProcW(window, message, w, l);
}

LRESULT NativeWindow::handle(UINT message, WPARAM w, LPARAM l)
{
    switch (message) {
    case WM_CTLCOLORSTATIC: {
        const HDC dc = reinterpret_cast<HDC>(w);
        SetTextColor(dc, m_form.colourOf(reinterpret_cast<HWND>(l)));
        SetBkColor(dc, GetSysColor(COLOR_HIGHLIGHTTEXT));
        return reinterpret_cast<LRESULT>(m_background);
    }
    case WM_SETCURSOR:
        if (const form::Control *control = m_form.controlOf(reinterpret_cast<HWND>(w));
            control && control->link) {
            SetCursor(LoadCursorW(nullptr, IDC_HAND));
            return TRUE;
        }
        break;
    case WM_COMMAND:
        if (const form::Control *control = m_form.controlOf(reinterpret_cast<HWND>(l));
            HIWORD(w) == STN_CLICKED && control && control->link)
            openLink(m_window, control->link);
        return 0;
    case WM_DPICHANGED: {
        // Before the form exists (always, in command mode) it is made for the DPI of its time.
        if (m_form.created())
            m_form.layout(HIWORD(w));
        const RECT *suggested = reinterpret_cast<const RECT *>(l);
        if (suggested)
            SetWindowPos(m_window, nullptr, suggested->left, suggested->top,
                         suggested->right - suggested->left, suggested->bottom - suggested->top,
                         SWP_NOZORDER | SWP_NOACTIVATE);
        return 0;
    }
    case WM_CLOSE: // the window stays until the program ends
        requestClose();
        return 0;
    case WM_ENDSESSION: // logging off: the port and the log are put in order first
        if (w)
            requestClose();
        return 0;
    }
    return DefWindowProcW(m_window, message, w, l);
}

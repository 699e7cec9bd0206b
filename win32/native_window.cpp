#include "native_window.h"

#include "resource_ids.h"
#include "wide_text.h"

#include <commctrl.h>

namespace {

const wchar_t kClass[] = L"ComutelMainWindow";
const wchar_t kMakerSite[] = L"https://pelmora.example/";
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

void openMakerSite(HWND window)
{
    using Execute = HINSTANCE(WINAPI *)(HWND, LPCWSTR, LPCWSTR, LPCWSTR, LPCWSTR, INT);
    const HMODULE library = LoadLibraryW(L"shell32.dll");
    if (const auto execute = reinterpret_cast<Execute>(
            reinterpret_cast<void *>(GetProcAddress(library, "ShellExecuteW"))))
        execute(window, L"open", kMakerSite, nullptr, nullptr, SW_SHOWNORMAL);
}

COLORREF rgbOf(Window::Colour colour)
{
    switch (colour) {
    case Window::Colour::Green:
        return RGB(0, 192, 0);
    case Window::Colour::Red:
        return RGB(255, 0, 0);
    default:
        return RGB(0, 0, 0);
    }
}

int slotOf(MainForm::Control which)
{
    return which == MainForm::Label1 ? 0 : which == MainForm::Label3 ? 1 : 2;
}

} // namespace

NativeWindow::NativeWindow(HINSTANCE instance) : m_instance(instance)
{
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
    m_window = CreateWindowExW(0, kClass, kTitle, kStyle, CW_USEDEFAULT, CW_USEDEFAULT, 0, 0,
                               nullptr, nullptr, instance, this);
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
    RECT frame{0, 0, MainForm::toPixels(MainForm::kClientWidthTwips, dpi),
               MainForm::toPixels(MainForm::kClientHeightTwips, dpi)};
    using AdjustForDpi = BOOL(WINAPI *)(LPRECT, DWORD, BOOL, DWORD, UINT);
    if (const auto adjust = user32<AdjustForDpi>("AdjustWindowRectExForDpi"))
        adjust(&frame, kStyle, FALSE, 0, dpi);
    else
        AdjustWindowRectEx(&frame, kStyle, FALSE, 0);
    SetWindowPos(m_window, nullptr, 0, 0, frame.right - frame.left, frame.bottom - frame.top,
                 SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
}

void NativeWindow::setText(MainForm::Control which, const std::string &text)
{
    m_texts[slotOf(which)] = wide::fromUtf8(text);
    if (m_form.created())
        SetWindowTextW(m_form.handle(which), m_texts[slotOf(which)].c_str());
}

void NativeWindow::setLabel1(const std::string &text, Colour colour)
{
    m_label1Colour = rgbOf(colour);
    if (m_form.created())
        m_form.setColour(MainForm::Label1, m_label1Colour);
    setText(MainForm::Label1, text);
}

void NativeWindow::setLabel3(const std::string &text)
{
    setText(MainForm::Label3, text);
}

void NativeWindow::setLabel8(const std::string &text)
{
    setText(MainForm::Label8, text);
}

void NativeWindow::setVisible(bool visible)
{
    if (visible && !m_form.created()) {
        loadCommonControls();
        const unsigned current = dpi();
        m_form.create(m_window, m_instance, current);
        resizeFor(current);
        for (MainForm::Control which : {MainForm::Label1, MainForm::Label3, MainForm::Label8})
            SetWindowTextW(m_form.handle(which), m_texts[slotOf(which)].c_str());
        m_form.setColour(MainForm::Label1, m_label1Colour);
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
        if (m_form.created() && reinterpret_cast<HWND>(w) == m_form.handle(MainForm::Label7)) {
            SetCursor(LoadCursorW(nullptr, IDC_HAND));
            return TRUE;
        }
        break;
    case WM_COMMAND:
        if (HIWORD(w) == STN_CLICKED &&
            reinterpret_cast<HWND>(l) == m_form.handle(MainForm::Label7))
            openMakerSite(m_window);
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

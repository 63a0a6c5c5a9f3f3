#include "GuiDriver.h"

#include <chrono>
#include <fstream>
#include <thread>

#include "os/WinHandles.h"
#include "text/CodePage.h"

namespace gui {

namespace {

BOOL CALLBACK IgnoreWindow(HWND, LPARAM) { return TRUE; }

}  // namespace

DriverThread::DriverThread(std::function<void()> work) {
  std::atomic<bool> ready{false};
  thread_ = std::thread([this, &ready, work = std::move(work)] {
    HWND desktop = GetDesktopWindow();
    EnumThreadWindows(GetCurrentThreadId(), IgnoreWindow, 0);
    ClassName(desktop);
    IsWindowVisible(desktop);
    ready = true;
    work();
    finished_ = true;
  });
  while (!ready) Sleep(1);
}

DriverThread::~DriverThread() { Join(); }

void DriverThread::Join() {
  if (!thread_.joinable()) return;
  while (!finished_) Pump(10);
  thread_.join();
}

std::string GetText(HWND hwnd) {
  int n = static_cast<int>(SendMessageW(hwnd, WM_GETTEXTLENGTH, 0, 0));
  std::wstring w(static_cast<std::size_t>(n) + 1, L'\0');
  n = static_cast<int>(SendMessageW(hwnd, WM_GETTEXT, static_cast<WPARAM>(n + 1), reinterpret_cast<LPARAM>(w.data())));
  w.resize(static_cast<std::size_t>(n));
  return text::Narrow(w);
}

std::string ClassName(HWND hwnd) {
  wchar_t buf[256];
  int n = GetClassNameW(hwnd, buf, 256);
  return text::Narrow(std::wstring(buf, static_cast<std::size_t>(n > 0 ? n : 0)));
}

namespace {
struct FindCtx {
  std::string cls, cap;
  bool anyProcess = false;
  std::vector<HWND> out;
};
BOOL CALLBACK EnumTop(HWND h, LPARAM lp) {
  auto* c = reinterpret_cast<FindCtx*>(lp);
  DWORD pid = 0;
  GetWindowThreadProcessId(h, &pid);
  if (!c->anyProcess && pid != GetCurrentProcessId()) return TRUE;
  if (!c->cls.empty() && ClassName(h) != c->cls) return TRUE;
  if (!c->cap.empty() && GetText(h) != c->cap) return TRUE;
  c->out.push_back(h);
  return TRUE;
}
}  // namespace

std::vector<HWND> FindTopLevels(const std::string& className, const std::string& caption, bool anyProcess) {
  FindCtx c{className, caption, anyProcess, {}};
  EnumWindows(EnumTop, reinterpret_cast<LPARAM>(&c));
  return c.out;
}

HWND FindTopLevel(const std::string& className, const std::string& caption, bool anyProcess) {
  for (HWND h : FindTopLevels(className, caption, anyProcess))
    if (IsWindowVisible(h)) return h;
  return nullptr;
}

void Pump(int ms) {
  auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
  do {
    MSG m;
    while (PeekMessageW(&m, nullptr, 0, 0, PM_REMOVE)) {
      TranslateMessage(&m);
      DispatchMessageW(&m);
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  } while (std::chrono::steady_clock::now() < end);
}

HWND WaitFor(const std::function<HWND()>& find, int timeoutMs, bool pump) {
  auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
  for (;;) {
    if (HWND h = find()) return h;
    if (std::chrono::steady_clock::now() >= end) return nullptr;
    if (pump)
      Pump(20);
    else
      std::this_thread::sleep_for(std::chrono::milliseconds(20));
  }
}

HWND WaitForTopLevel(const std::string& className, const std::string& caption, int timeoutMs, bool pump,
                     bool anyProcess) {
  return WaitFor([&] { return FindTopLevel(className, caption, anyProcess); }, timeoutMs, pump);
}

std::vector<ChildInfo> Children(HWND parent) {
  std::vector<ChildInfo> out;
  for (HWND h = GetWindow(parent, GW_CHILD); h; h = GetWindow(h, GW_HWNDNEXT)) {
    ChildInfo c;
    c.hwnd = h;
    c.className = ClassName(h);
    c.text = GetText(h);
    GetWindowRect(h, &c.rect);
    MapWindowPoints(nullptr, parent, reinterpret_cast<POINT*>(&c.rect), 2);
    c.visible = IsWindowVisible(h) != FALSE;
    c.id = GetDlgCtrlID(h);
    c.style = GetWindowLongW(h, GWL_STYLE);
    out.push_back(c);
  }
  return out;
}

HWND FindChildByText(HWND parent, const std::string& t, const std::string& className) {
  for (const ChildInfo& c : Children(parent))
    if (c.text == t && (className.empty() || c.className == className)) return c.hwnd;
  return nullptr;
}

bool PressButton(HWND dialog, const std::string& caption) {
  HWND b = FindChildByText(dialog, caption, "Button");
  if (!b) return false;
  PostMessageW(b, BM_CLICK, 0, 0);
  return true;
}

void PostKey(HWND hwnd, UINT vk) {
  UINT scan = MapVirtualKeyW(vk, MAPVK_VK_TO_VSC);
  PostMessageW(hwnd, WM_KEYDOWN, vk, 1 | (scan << 16));
  PostMessageW(hwnd, WM_KEYUP, vk, 1 | (scan << 16) | (1u << 30) | (1u << 31));
}

void PostChar(HWND hwnd, wchar_t ch) { PostMessageW(hwnd, WM_CHAR, ch, 1); }

void PostClick(HWND hwnd, int x, int y) {
  LPARAM lp = MAKELPARAM(x, y);
  PostMessageW(hwnd, WM_LBUTTONDOWN, MK_LBUTTON, lp);
  PostMessageW(hwnd, WM_LBUTTONUP, 0, lp);
}

void SendKeyInput(UINT vk) {
  INPUT in[2]{};
  in[0].type = INPUT_KEYBOARD;
  in[0].ki.wVk = static_cast<WORD>(vk);
  in[1] = in[0];
  in[1].ki.dwFlags = KEYEVENTF_KEYUP;
  SendInput(2, in, sizeof(INPUT));
}

RECT ClientRectOnScreen(HWND hwnd) {
  RECT r;
  GetClientRect(hwnd, &r);
  MapWindowPoints(hwnd, nullptr, reinterpret_cast<POINT*>(&r), 2);
  return r;
}

namespace {
std::uint32_t Crc32(const unsigned char* p, std::size_t n, std::uint32_t crc = 0) {
  static std::uint32_t table[256];
  static bool init = false;
  if (!init) {
    for (std::uint32_t i = 0; i < 256; ++i) {
      std::uint32_t c = i;
      for (int k = 0; k < 8; ++k) c = c & 1 ? 0xEDB88320u ^ (c >> 1) : c >> 1;
      table[i] = c;
    }
    init = true;
  }
  crc = ~crc;
  for (std::size_t i = 0; i < n; ++i) crc = table[(crc ^ p[i]) & 0xFF] ^ (crc >> 8);
  return ~crc;
}

void Be32(std::string& s, std::uint32_t v) {
  for (int i = 3; i >= 0; --i) s += static_cast<char>(v >> (8 * i));
}

void Chunk(std::string& png, const char* type, const std::string& data) {
  Be32(png, static_cast<std::uint32_t>(data.size()));
  std::string body = std::string(type, 4) + data;
  png += body;
  Be32(png, Crc32(reinterpret_cast<const unsigned char*>(body.data()), body.size()));
}
}  // namespace

std::string EncodePng(int width, int height, const std::vector<unsigned char>& rgb) {
  std::string raw;
  raw.reserve(static_cast<std::size_t>(height) * (static_cast<std::size_t>(width) * 3 + 1));
  for (int y = 0; y < height; ++y) {
    raw += '\0';  // filter: none
    raw.append(reinterpret_cast<const char*>(&rgb[static_cast<std::size_t>(y) * width * 3]), static_cast<std::size_t>(width) * 3);
  }
  // zlib stream of stored blocks (at most 65535 bytes each) and the Adler-32 of the data.
  std::string z = "\x78\x01";
  std::size_t pos = 0;
  do {
    std::size_t n = std::min<std::size_t>(65535, raw.size() - pos);
    bool last = pos + n == raw.size();
    z += static_cast<char>(last ? 1 : 0);
    z += static_cast<char>(n & 0xFF);
    z += static_cast<char>(n >> 8);
    z += static_cast<char>(~n & 0xFF);
    z += static_cast<char>((~n >> 8) & 0xFF);
    z.append(raw, pos, n);
    pos += n;
  } while (pos < raw.size());
  std::uint32_t a = 1, b = 0;
  for (unsigned char c : raw) {
    a = (a + c) % 65521;
    b = (b + a) % 65521;
  }
  Be32(z, (b << 16) | a);
  std::string png = "\x89PNG\r\n\x1a\n";
  std::string ihdr;
  Be32(ihdr, static_cast<std::uint32_t>(width));
  Be32(ihdr, static_cast<std::uint32_t>(height));
  ihdr += std::string("\x08\x02\x00\x00\x00", 5);  // 8-bit RGB, deflate, no filter set, no interlace
  Chunk(png, "IHDR", ihdr);
  Chunk(png, "IDAT", z);
  Chunk(png, "IEND", "");
  return png;
}

namespace {
std::vector<unsigned char> Grab(HDC src, int x, int y, int w, int h) {
  std::vector<unsigned char> rgb;
  if (w <= 0 || h <= 0) return rgb;
  win32::UniqueMemoryDc memory(CreateCompatibleDC(src));
  HDC mem = memory.Get();
  BITMAPINFO bi{};
  bi.bmiHeader.biSize = sizeof(BITMAPINFOHEADER);
  bi.bmiHeader.biWidth = w;
  bi.bmiHeader.biHeight = -h;
  bi.bmiHeader.biPlanes = 1;
  bi.bmiHeader.biBitCount = 32;
  bi.bmiHeader.biCompression = BI_RGB;
  void* bits = nullptr;
  win32::UniqueBitmap bmp(CreateDIBSection(mem, &bi, DIB_RGB_COLORS, &bits, nullptr, 0));
  if (!bmp) return rgb;
  win32::Selection selected(mem, bmp.Get());
  BitBlt(mem, 0, 0, w, h, src, x, y, SRCCOPY);
  GdiFlush();
  rgb.resize(static_cast<std::size_t>(w) * h * 3);
  const unsigned char* p = static_cast<const unsigned char*>(bits);
  for (std::size_t i = 0; i < static_cast<std::size_t>(w) * h; ++i) {
    rgb[i * 3] = p[i * 4 + 2];
    rgb[i * 3 + 1] = p[i * 4 + 1];
    rgb[i * 3 + 2] = p[i * 4];
  }
  return rgb;
}
}  // namespace

std::vector<unsigned char> CaptureClient(HWND hwnd, int& width, int& height) {
  RECT r = ClientRectOnScreen(hwnd);
  width = r.right - r.left;
  height = r.bottom - r.top;
  win32::WindowDc screen(nullptr);
  return Grab(screen.Get(), r.left, r.top, width, height);
}

bool SaveWindowPng(HWND hwnd, const std::string& path) {
  RECT r;
  if (!GetWindowRect(hwnd, &r)) return false;
  int w = r.right - r.left, h = r.bottom - r.top;
  std::vector<unsigned char> rgb = Grab(win32::WindowDc(nullptr).Get(), r.left, r.top, w, h);
  if (rgb.empty()) return false;
  std::ofstream out(path, std::ios::binary);
  std::string png = EncodePng(w, h, rgb);
  out.write(png.data(), static_cast<std::streamsize>(png.size()));
  return static_cast<bool>(out);
}

}  // namespace gui

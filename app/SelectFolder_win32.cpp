#include <windows.h>
#include <shlobj.h>

#include "app/SelectFolder.h"
#include "text/CodePage.h"

namespace {

// The shell's allocator; everything the folder browser hands out is freed through it.
class ShellMalloc {
 public:
  ShellMalloc() {
    if (FAILED(SHGetMalloc(&malloc_))) malloc_ = nullptr;
  }
  ~ShellMalloc() {
    if (malloc_) malloc_->Release();
  }
  ShellMalloc(const ShellMalloc&) = delete;
  ShellMalloc& operator=(const ShellMalloc&) = delete;
  IMalloc* Get() const { return malloc_; }

 private:
  IMalloc* malloc_ = nullptr;
};

// A block (a buffer or an item id list) owned by the shell's allocator.
class ShellBlock {
 public:
  ShellBlock(IMalloc* malloc, void* block) : malloc_(malloc), block_(block) {}
  ~ShellBlock() {
    if (block_) malloc_->Free(block_);
  }
  ShellBlock(ShellBlock&& other) noexcept : malloc_(other.malloc_), block_(other.block_) { other.block_ = nullptr; }
  ShellBlock& operator=(ShellBlock&&) = delete;
  ShellBlock(const ShellBlock&) = delete;
  ShellBlock& operator=(const ShellBlock&) = delete;
  void* Get() const { return block_; }
  explicit operator bool() const { return block_ != nullptr; }

 private:
  IMalloc* malloc_;
  void* block_;
};

}  // namespace

void SelectFolder(const std::string& title, std::string& folder) {
  ShellMalloc malloc;
  if (!malloc.Get()) return;
  ShellBlock buffer(malloc.Get(), malloc.Get()->Alloc(MAX_PATH * sizeof(wchar_t)));
  if (!buffer) return;
  wchar_t* name = static_cast<wchar_t*>(buffer.Get());
  name[0] = L'\0';

  LPITEMIDLIST rootList = nullptr;
  if (FAILED(SHGetSpecialFolderLocation(nullptr, CSIDL_DRIVES, &rootList))) return;
  ShellBlock root(malloc.Get(), rootList);

  std::wstring wideTitle = text::Widen(title);
  BROWSEINFOW info = {};
  info.hwndOwner = nullptr;
  info.pidlRoot = rootList;
  info.pszDisplayName = name;
  info.lpszTitle = wideTitle.c_str();
  info.ulFlags = 0;
  info.lpfn = nullptr;
  info.lParam = 0;

  std::string result;
  if (LPITEMIDLIST chosenList = SHBrowseForFolderW(&info)) {
    ShellBlock chosen(malloc.Get(), chosenList);
    if (SHGetPathFromIDListW(chosenList, name)) result = text::Narrow(name);
  }
  folder = result;
}

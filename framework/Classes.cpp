#include "framework/Classes.h"

#include <algorithm>
#include <cstring>
#include <fstream>
#include <sstream>

#include "framework/ClassBuilder.h"
#include "framework/Filer.h"

void Abort() { throw EAbort(); }

const TClassInfo& TObject::StaticClass() {
  static const TClassInfo info = [] {
    TClassInfo i;
    i.name = "TObject";
    return i;
  }();
  return info;
}

const TClassInfo& TPersistent::StaticClass() {
  static const TClassInfo info = TClassBuilder<TPersistent>("TPersistent", &TObject::StaticClass()).Build();
  return info;
}

const TClassInfo& TStream::StaticClass() {
  static const TClassInfo info = TClassBuilder<TStream>("TStream", &TObject::StaticClass()).Build();
  return info;
}

const TClassInfo& TMemoryStream::StaticClass() {
  static const TClassInfo info = TClassBuilder<TMemoryStream>("TMemoryStream", &TStream::StaticClass()).Build();
  return info;
}

void TPersistent::Assign(const TPersistent& source) {
  throw Exception("Cannot assign a " + source.ClassName() + " to a " + ClassName());
}

void TPersistent::DefineProperties(TFiler&) {}

// --- TComponent ------------------------------------------------------------------------

const TClassInfo& TComponent::StaticClass() {
  static const TClassInfo info =
      TClassBuilder<TComponent>("TComponent", &TPersistent::StaticClass())
          .Property("Name", &TComponent::Name, &TComponent::SetName)
          .Stored(false)  // written as the object's header, not as a property
          .Property("Tag", &TComponent::Tag, &TComponent::SetTag).Default(0)
          .Build();
  return info;
}

TComponent::TComponent(TComponent* owner) {
  if (owner) {
    if (owner->state_.Contains(csDesigning)) state_.Include(csDesigning);
    owner->InsertComponent(this);
  }
}

TComponent::~TComponent() {
  state_.Include(csDestroying);
  for (TComponent* c : freeNotifies_) c->Notification(this, false);
  freeNotifies_.clear();
  // Newest first, as the class library does; each removes itself from the list.
  while (!components_.empty()) delete components_.back();
  if (owner_) owner_->RemoveComponent(this);
}

namespace {
bool IsValidIdent(std::string_view s) {
  if (s.empty()) return false;
  auto alpha = [](char c) { return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || c == '_'; };
  if (!alpha(s[0])) return false;
  for (char c : s)
    if (!alpha(c) && !(c >= '0' && c <= '9')) return false;
  return true;
}
}  // namespace

void TComponent::SetName(const std::string& name) {
  if (name == name_) return;
  if (!name.empty() && !IsValidIdent(name))
    throw Exception("'" + name + "' is not a valid component name");
  if (owner_ && !name.empty()) {
    TComponent* other = owner_->FindComponent(name);
    if (other && other != this) throw Exception("A component named " + name + " already exists");
  }
  name_ = name;
}

void TComponent::SetDesigning(bool designing, bool children) {
  if (designing)
    state_.Include(csDesigning);
  else
    state_.Exclude(csDesigning);
  if (children)
    for (TComponent* c : components_) c->SetDesigning(designing, true);
}

TComponent* TComponent::FindComponent(std::string_view name) const {
  if (name.empty()) return nullptr;
  for (TComponent* c : components_)
    if (SameText(c->name_, name)) return c;
  return nullptr;
}

void TComponent::InsertComponent(TComponent* c) {
  if (c->owner_) c->owner_->RemoveComponent(c);
  components_.push_back(c);
  c->owner_ = this;
}

void TComponent::RemoveComponent(TComponent* c) {
  auto it = std::find(components_.begin(), components_.end(), c);
  if (it == components_.end()) return;
  components_.erase(it);
  c->owner_ = nullptr;
  if (!state_.Contains(csDestroying)) {
    // A published field that held it must not dangle.
    if (const TFieldInfo* f = ClassInfo().FindField(c->name_)) f->bind(*this, nullptr);
    Notification(c, false);
  }
}

void TComponent::GetChildren(const std::function<void(TComponent*)>& proc, TComponent* root) {
  if (root != this) return;
  for (TComponent* c : components_)
    if (!c->HasParent()) proc(c);
}

void TComponent::SetParentComponent(TComponent*) {}

void TComponent::Loaded() { state_.Exclude(csLoading); }

void TComponent::Notification(TComponent* c, bool inserted) {
  if (state_.Contains(csDestroying)) return;
  std::vector<TComponent*> copy = components_;
  for (TComponent* x : copy)
    if (x != c) x->Notification(c, inserted);
}

void TComponent::FreeNotification(TComponent* c) {
  if (c && std::find(freeNotifies_.begin(), freeNotifies_.end(), c) == freeNotifies_.end()) {
    freeNotifies_.push_back(c);
    c->freeNotifies_.push_back(this);
  }
}

void TComponent::SetLoadingState(bool loading) {
  if (loading)
    state_.Include(csLoading);
  else
    state_.Exclude(csLoading);
}

void TComponent::SetReadingState(bool reading) {
  if (reading)
    state_.Include(csReading);
  else
    state_.Exclude(csReading);
}

// --- Streams ---------------------------------------------------------------------------

void TStream::ReadBuffer(void* buffer, std::size_t count) {
  if (Read(buffer, count) != count)
    throw EReadError("Stream read error: " + std::to_string(count) + " bytes wanted", Position());
}

void TStream::WriteBuffer(const void* buffer, std::size_t count) {
  if (Write(buffer, count) != count) throw EWriteError("Stream write error");
}

std::uint64_t TStream::CopyFrom(TStream& source, std::uint64_t count) {
  if (count == 0) {
    source.SetPosition(0);
    count = source.Size();
  }
  char buf[8192];
  std::uint64_t left = count;
  while (left > 0) {
    std::size_t n = static_cast<std::size_t>(std::min<std::uint64_t>(left, sizeof buf));
    source.ReadBuffer(buf, n);
    WriteBuffer(buf, n);
    left -= n;
  }
  return count;
}

std::size_t TMemoryStream::Read(void* buffer, std::size_t count) {
  if (pos_ >= data_.size()) return 0;
  std::size_t n = static_cast<std::size_t>(std::min<std::uint64_t>(count, data_.size() - pos_));
  if (n) std::memcpy(buffer, data_.data() + pos_, n);
  pos_ += n;
  return n;
}

std::size_t TMemoryStream::Write(const void* buffer, std::size_t count) {
  if (pos_ > data_.size()) data_.resize(static_cast<std::size_t>(pos_));
  std::size_t end = static_cast<std::size_t>(pos_) + count;
  if (end > data_.size()) data_.resize(end);
  if (count) std::memcpy(data_.data() + pos_, buffer, count);
  pos_ = end;
  return count;
}

void TMemoryStream::SetSize(std::uint64_t size) {
  data_.resize(static_cast<std::size_t>(size));
  if (pos_ > size) pos_ = size;
}

void TMemoryStream::LoadFromFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  if (!in) throw Exception("Cannot open file \"" + path + "\"");
  std::ostringstream ss;
  ss << in.rdbuf();
  data_ = ss.str();
  pos_ = 0;
}

void TMemoryStream::SaveToFile(const std::string& path) const {
  std::ofstream out(path, std::ios::binary);
  out.write(data_.data(), static_cast<std::streamsize>(data_.size()));
  if (!out) throw Exception("Cannot write file \"" + path + "\"");
}

// --- TStrings --------------------------------------------------------------------------

const TClassInfo& TStrings::StaticClass() {
  static const TClassInfo info = TClassBuilder<TStrings>("TStrings", &TPersistent::StaticClass()).Build();
  return info;
}

const TClassInfo& TStringList::StaticClass() {
  static const TClassInfo info = TClassBuilder<TStringList>("TStringList", &TStrings::StaticClass()).Build();
  return info;
}

void TStrings::Put(int i, const std::string& s) {
  items_.at(static_cast<std::size_t>(i)).text = s;
  Changed();
}

int TStrings::Add(const std::string& s, TObject* object) {
  items_.push_back({s, object});
  Changed();
  return Count() - 1;
}

void TStrings::Insert(int i, const std::string& s) {
  if (i < 0 || i > Count()) throw Exception("List index out of bounds (" + std::to_string(i) + ")");
  items_.insert(items_.begin() + i, Item{s, nullptr});
  Changed();
}

void TStrings::Delete(int i) {
  if (i < 0 || i >= Count()) throw Exception("List index out of bounds (" + std::to_string(i) + ")");
  items_.erase(items_.begin() + i);
  Changed();
}

void TStrings::Clear() {
  if (items_.empty()) return;
  items_.clear();
  Changed();
}

int TStrings::IndexOf(std::string_view s) const {
  for (int i = 0; i < Count(); ++i)
    if (SameText(items_[static_cast<std::size_t>(i)].text, s)) return i;
  return -1;
}

std::string TStrings::Text() const {
  std::string out;
  for (const Item& it : items_) out += it.text + "\r\n";
  return out;
}

void TStrings::SetText(std::string_view text) {
  items_.clear();
  std::size_t i = 0;
  while (i < text.size()) {
    std::size_t j = i;
    while (j < text.size() && text[j] != '\r' && text[j] != '\n') ++j;
    items_.push_back({std::string(text.substr(i, j - i)), nullptr});
    if (j < text.size() && text[j] == '\r') ++j;
    if (j < text.size() && text[j] == '\n') ++j;
    i = j;
  }
  Changed();
}

void TStrings::Assign(const TPersistent& source) {
  if (auto* s = dynamic_cast<const TStrings*>(&source)) {
    items_ = s->items_;
    Changed();
    return;
  }
  TPersistent::Assign(source);
}

void TStrings::DefineProperties(TFiler& filer) {
  filer.DefineProperty(
      "Strings",
      [this](TReader& r) {
        items_.clear();
        r.ReadListBegin();
        while (!r.EndOfList()) items_.push_back({r.ReadString(), nullptr});
        r.ReadListEnd();
        Changed();
      },
      [this](TWriter& w) {
        w.WriteListBegin();
        for (const Item& it : items_) w.WriteString(it.text);
        w.WriteListEnd();
      },
      !items_.empty());
}

void TStrings::Changed() {
  if (OnChange) OnChange();
}

// --- Collections -----------------------------------------------------------------------

const TClassInfo& TCollectionItem::StaticClass() {
  static const TClassInfo info =
      TClassBuilder<TCollectionItem>("TCollectionItem", &TPersistent::StaticClass()).Build();
  return info;
}

TCollectionItem::TCollectionItem(TCollection* collection) : collection_(collection) {}

int TCollectionItem::Index() const {
  if (!collection_) return -1;
  for (int i = 0; i < collection_->Count(); ++i)
    if (collection_->Items(i) == this) return i;
  return -1;
}

const TClassInfo& TCollection::StaticClass() {
  static const TClassInfo info = TClassBuilder<TCollection>("TCollection", &TPersistent::StaticClass()).Build();
  return info;
}

TCollection::TCollection(ItemFactory factory) : factory_(std::move(factory)) {}

TCollectionItem* TCollection::Add() {
  items_.push_back(factory_(this));
  return items_.back().get();
}

void TCollection::Clear() { items_.clear(); }

#include "utility/core/profile_list.h"

#include <algorithm>

namespace zelcon {
namespace {

constexpr size_t kMaxNameLength = sizeof(PROFILE_ENTRY::name) - 1;

bool IsDigit(char c) { return c >= '0' && c <= '9'; }

}  // namespace

std::string IncrementProfileName(std::string_view name) {
  std::string next(name);
  size_t digits = 0;
  while (digits < next.size() && IsDigit(next[next.size() - 1 - digits])) ++digits;
  if (digits == 0) {
    next += '2';
  } else {
    size_t i = next.size();
    while (i > next.size() - digits && next[i - 1] == '9') next[--i] = '0';
    if (i > next.size() - digits) {
      ++next[i - 1];
    } else {
      next.insert(next.size() - digits, "1");  // 9 -> 10, 99 -> 100
      ++digits;
    }
  }
  if (next.size() > kMaxNameLength) {
    // Keep the number whole: drop characters in front of it (the appended "2" or a carry).
    size_t keepDigits = std::min(digits == 0 ? size_t(1) : digits, kMaxNameLength);
    size_t stem = kMaxNameLength - keepDigits;
    next = next.substr(0, stem) + next.substr(next.size() - keepDigits);
  }
  return next;
}

ProfileList::~ProfileList() {
  for (Item& item : items_) WipeProfile(item.entry);
}

std::optional<size_t> ProfileList::IndexOf(ProfileId id) const {
  for (size_t i = 0; i < items_.size(); ++i)
    if (items_[i].id == id) return i;
  return std::nullopt;
}

std::vector<ProfileList::Item>::iterator ProfileList::Locate(ProfileId id) {
  return std::find_if(items_.begin(), items_.end(), [&](const Item& i) { return i.id == id; });
}

PROFILE_ENTRY* ProfileList::Find(ProfileId id) {
  auto it = Locate(id);
  return it == items_.end() ? nullptr : &it->entry;
}

const PROFILE_ENTRY* ProfileList::Find(ProfileId id) const {
  std::optional<size_t> i = IndexOf(id);
  return i ? &items_[*i].entry : nullptr;
}

ProfileId ProfileList::FindByName(std::string_view name) const {
  for (const Item& item : items_)
    if (FieldText(item.entry.name) == name) return item.id;
  return kNoProfile;
}

std::vector<PROFILE_ENTRY> ProfileList::Records() const {
  std::vector<PROFILE_ENTRY> records;
  for (const Item& item : items_) records.push_back(item.entry);
  return records;
}

ProfileId ProfileList::Append(const PROFILE_ENTRY& entry) { return Insert(items_.size(), entry); }

ProfileId ProfileList::Insert(size_t index, const PROFILE_ENTRY& entry) {
  ProfileId id = NewId();
  items_.insert(items_.begin() + std::min(index, items_.size()), Item{id, entry});
  return id;
}

void ProfileList::Remove(ProfileId id) {
  auto it = Locate(id);
  if (it == items_.end()) return;
  WipeProfile(it->entry);
  items_.erase(it);
  if (current_ == id) current_ = kNoProfile;
}

void ProfileList::Move(ProfileId id, size_t index) {
  auto it = Locate(id);
  if (it == items_.end()) return;
  Item item = *it;
  items_.erase(it);
  items_.insert(items_.begin() + std::min(index, items_.size()), item);
}

void ProfileList::EnsureDefaultProfile() {
  if (FindByName(kDefaultProfileName) != kNoProfile) return;
  auto firstAdHoc = std::find_if(items_.begin(), items_.end(),
                                 [](const Item& i) { return IsAdHoc(i.entry); });
  Insert(static_cast<size_t>(firstAdHoc - items_.begin()), MakeDefaultProfile());
}

void ProfileList::Regroup() {
  std::stable_partition(items_.begin(), items_.end(),
                        [](const Item& i) { return !IsAdHoc(i.entry); });
}

void ProfileList::NormalizeImported() {
  Regroup();
  for (size_t i = 0; i < items_.size(); ++i) {
    std::string name(FieldText(items_[i].entry.name));
    for (size_t j = i + 1; j < items_.size();) {
      if (FieldText(items_[j].entry.name) != name) {
        ++j;
      } else if (name == kDefaultProfileName) {
        Remove(items_[j].id);
      } else {
        SetFieldText(items_[j].entry.name, UniqueName(IncrementProfileName(name), items_[j].id));
        ++j;
      }
    }
  }
}

std::string ProfileList::UniqueName(std::string_view candidate, ProfileId except) const {
  std::string name(candidate.substr(0, kMaxNameLength));
  auto taken = [&](const std::string& n) {
    return std::any_of(items_.begin(), items_.end(), [&](const Item& i) {
      return i.id != except && FieldText(i.entry.name) == n;
    });
  };
  // Every step gives a name not tried before, so this ends within one step per profile
  // (plus the steps where the name reaches its length limit).
  for (size_t steps = 0; taken(name) && steps <= items_.size() + kMaxNameLength; ++steps)
    name = IncrementProfileName(name);
  return name;
}

void ProfileList::MoveToFrontOfGroup(ProfileId id) {
  auto it = Locate(id);
  if (it == items_.end()) return;
  if (it->entry.networkType == 1) {
    Move(id, 0);
  } else if (it->entry.networkType == 0) {
    Item item = *it;
    items_.erase(it);
    auto firstAdHoc = std::find_if(items_.begin(), items_.end(),
                                   [](const Item& i) { return IsAdHoc(i.entry); });
    items_.insert(firstAdHoc, item);
  }
}

ProfileId ProfileList::PlaceReplacing(const PROFILE_ENTRY& entry) {
  bool replacedCurrent = false;
  for (size_t i = 0; i < items_.size();) {
    const PROFILE_ENTRY& old = items_[i].entry;
    if (FieldText(old.ssid) == FieldText(entry.ssid) && old.networkType == entry.networkType) {
      replacedCurrent |= items_[i].id == current_;
      Remove(items_[i].id);
    } else {
      ++i;
    }
  }
  ProfileId id = Insert(0, entry);
  if (replacedCurrent) current_ = id;
  return id;
}

}  // namespace zelcon

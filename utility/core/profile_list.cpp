#include "utility/core/profile_list.h"

#include <algorithm>
#include <unordered_map>

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

ProfileList::NameCounts ProfileList::CountNames() const {
  NameCounts counts;
  for (const Item& item : items_) ++counts[std::string(FieldText(item.entry.name))];
  return counts;
}

// The first name from `name` on, in increment steps, that no profile has (the one called
// `*ownName`, the profile being renamed, not counted). Every step gives a name not tried
// before, so this ends within one step per profile (plus the steps at the length limit).
std::string ProfileList::FirstFreeName(const NameCounts& counts, std::string name,
                                       const std::string* ownName) const {
  auto taken = [&](const std::string& n) {
    auto it = counts.find(n);
    return it != counts.end() && it->second > (ownName && n == *ownName ? 1u : 0u);
  };
  for (size_t steps = 0; taken(name) && steps <= items_.size() + kMaxNameLength; ++steps)
    name = IncrementProfileName(name);
  return name;
}

void ProfileList::NormalizeImportedProfiles() {
  Regroup();
  // Each name's holders in list order; the first keeps it, the later ones are renamed (or,
  // for "<Default>", dropped), one name after another in the order of the first holders.
  std::unordered_map<std::string, std::vector<size_t>> holders;
  for (size_t i = 0; i < items_.size(); ++i)
    holders[std::string(FieldText(items_[i].entry.name))].push_back(i);
  NameCounts counts = CountNames();
  std::vector<bool> drop(items_.size(), false);
  for (size_t i = 0; i < items_.size(); ++i) {
    const std::string name(FieldText(items_[i].entry.name));
    auto it = holders.find(name);
    if (it == holders.end() || it->second.front() != i) continue;  // renamed, or done
    // Every name tried for an earlier holder stays taken: the search goes on from the last.
    std::string last = name;
    for (size_t k = 1; k < it->second.size(); ++k) {
      const size_t j = it->second[k];
      if (name == kDefaultProfileName) {
        drop[j] = true;
      } else {
        last = FirstFreeName(counts, IncrementProfileName(last), &name);
        ++counts[last];
        SetFieldText(items_[j].entry.name, last);
      }
      --counts[name];
    }
    holders.erase(it);
  }
  // One pass: removing one by one would move the whole tail for every dropped profile.
  size_t kept = 0;
  for (size_t i = 0; i < items_.size(); ++i) {
    if (drop[i]) {
      if (items_[i].id == current_) current_ = kNoProfile;
    } else if (kept++ != i) {
      items_[kept - 1] = items_[i];
    }
  }
  for (size_t i = kept; i < items_.size(); ++i) WipeProfile(items_[i].entry);
  items_.resize(kept);
}

std::string ProfileList::UniqueName(std::string_view candidate, ProfileId except) const {
  const PROFILE_ENTRY* own = Find(except);
  const std::string ownName = own ? std::string(FieldText(own->name)) : std::string();
  return FirstFreeName(CountNames(), std::string(candidate.substr(0, kMaxNameLength)),
                       own ? &ownName : nullptr);
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

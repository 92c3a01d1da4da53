#pragma once
// The ordered profile list with stable ids and the profile in use. Every infrastructure
// profile stands ahead of every ad hoc one (the worker tries preferred profiles in list
// order). Removing or replacing the profile in use clears the pointer to it or moves it to
// the replacement, so no id ever names a record that is gone. Names compare exactly.
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "utility/core/profile_entry.h"

namespace zelcon {

using ProfileId = uint64_t;
inline constexpr ProfileId kNoProfile = 0;

class ProfileList {
public:
  ProfileList() = default;
  ~ProfileList();
  ProfileList(const ProfileList&) = delete;
  ProfileList& operator=(const ProfileList&) = delete;

  size_t Size() const { return items_.size(); }
  ProfileId IdAt(size_t index) const { return items_.at(index).id; }
  const PROFILE_ENTRY& At(size_t index) const { return items_.at(index).entry; }
  PROFILE_ENTRY& At(size_t index) { return items_.at(index).entry; }
  std::optional<size_t> IndexOf(ProfileId id) const;
  PROFILE_ENTRY* Find(ProfileId id);
  const PROFILE_ENTRY* Find(ProfileId id) const;
  // The first profile of exactly this name, or kNoProfile.
  ProfileId FindByName(std::string_view name) const;
  std::vector<PROFILE_ENTRY> Records() const;

  ProfileId Current() const { return current_; }
  // Remembers `id` (kNoProfile for none) as the profile in use.
  void SetCurrent(ProfileId id) { current_ = IndexOf(id) ? id : kNoProfile; }

  ProfileId Append(const PROFILE_ENTRY& entry);
  ProfileId Insert(size_t index, const PROFILE_ENTRY& entry);  // index past the end appends
  void Remove(ProfileId id);
  // Moves the profile to `index` among the others (Move Up / Move Down, reordering).
  void Move(ProfileId id, size_t index);

  // After loading: unless a "<Default>" is anywhere in the list, insert the default profile in
  // front of the first ad hoc profile (at the end when there is none).
  void EnsureDefaultProfile();
  // Every infrastructure profile ahead of every ad hoc one, order inside each group kept.
  void Regroup();
  // After an import: regroup, keep only the first "<Default>", and rename every later
  // profile whose name repeats an earlier one (UniqueName) so that no profile is lost.
  void NormalizeImportedProfiles();
  // `candidate` if no profile other than `except` has that name; otherwise the name
  // incremented as many times as needed: a trailing number counts up (net3 -> net4,
  // net19 -> net20, net9 -> net10, net99 -> net100), any other name gets "2" (home ->
  // home2). Names stay within 39 bytes.
  std::string UniqueName(std::string_view candidate, ProfileId except = kNoProfile) const;
  // The profile becomes the head of its group: infrastructure to index 0, ad hoc in front of
  // the first other ad hoc profile. Any other network type stays where it is.
  void MoveToFrontOfGroup(ProfileId id);
  // A one-touch setup profile replaces every profile of the same SSID and network type and
  // goes to index 0; if the profile in use was replaced, the new one is in use instead.
  ProfileId PlaceReplacing(const PROFILE_ENTRY& entry);

private:
  struct Item {
    ProfileId id;
    PROFILE_ENTRY entry;
  };
  using NameCounts = std::unordered_map<std::string, size_t>;
  std::vector<Item>::iterator Locate(ProfileId id);
  // How many profiles carry each name: uniqueness is looked up, not scanned for.
  NameCounts CountNames() const;
  std::string FirstFreeName(const NameCounts& counts, std::string name,
                            const std::string* ownName) const;
  ProfileId NewId() { return nextId_++; }

  std::vector<Item> items_;
  ProfileId nextId_ = 1;
  ProfileId current_ = kNoProfile;
};

// The next name in the increment step (one step; UniqueName repeats it).
std::string IncrementProfileName(std::string_view name);

}  // namespace zelcon

#pragma once

// The key paths of the configuration store's documents: "sysconfig.xml"
// (SystemConfig) and the per-game files (GameConfigSet). Code outside the
// store that reads or writes a value by key path names it from here, so a
// key is spelled once.
namespace config_keys {

// "sysconfig.xml".
inline constexpr wchar_t kFirstRun[] = L"root.user.firstrun";
inline constexpr wchar_t kShowHelp[] = L"root.user.showhelp";
inline constexpr wchar_t kAccount[] = L"root.user.account";
inline constexpr wchar_t kPassword[] = L"root.user.password";
inline constexpr wchar_t kPositionX[] = L"root.user.innerombrixpostion:x";
inline constexpr wchar_t kPositionY[] = L"root.user.innerombrixpostion:y";
inline constexpr wchar_t kAutoLogin[] = L"root.base.normal.autologin";
inline constexpr wchar_t kOneShotSound[] = L"root.base.sound.oneshot";
inline constexpr wchar_t kManyShotSound[] = L"root.base.sound.manyshot";
inline constexpr wchar_t kStoreType[] = L"root.base.store:type";
inline constexpr wchar_t kStorePath[] = L"root.base.store:path";
inline constexpr wchar_t kQuotaSize[] = L"root.base.store.quota.size";
inline constexpr wchar_t kQuotaEnable[] = L"root.base.store.quota:enable";

// The game files ("games/*.xml").
inline constexpr wchar_t kGameId[] = L"root.game:id";
inline constexpr wchar_t kGameName[] = L"root.game:name";
inline constexpr wchar_t kOneShotKey[] = L"root.game.shortcut.oneshot:key";
inline constexpr wchar_t kManyShotKey[] = L"root.game.shortcut.manyshot:key";
inline constexpr wchar_t kRegionOneShotKey[] = L"root.game.shortcut.regiononeshot:key";
inline constexpr wchar_t kRegionManyShotKey[] = L"root.game.shortcut.regionmanyshot:key";
inline constexpr wchar_t kShowHideKey[] = L"root.game.shortcut.showhide:key";
inline constexpr wchar_t kQuickPublishKey[] = L"root.game.shortcut.quickpublish:key";
inline constexpr wchar_t kManyShotDuration[] = L"root.game.shortcut.manyshot.duration";
inline constexpr wchar_t kManyShotInterval[] = L"root.game.shortcut.manyshot.interval";
inline constexpr wchar_t kTimeShotEnable[] = L"root.game.shortcut.timeshot:enable";
inline constexpr wchar_t kTimeShotInterval[] = L"root.game.shortcut.timeshot.interval";
inline constexpr wchar_t kQuality[] = L"root.game.shortcut.quality";
inline constexpr wchar_t kExitWithGame[] = L"root.game.option.ExitWithGame:enable";

}  // namespace config_keys

#pragma once
// Pure decisions of the loudness choice: its menu order and what the player is told.

namespace loudness {

// Menu order: off, ReplayGain of the track, of the album, even (a normaliser for untagged files).
enum Choice { Off = 0, Track = 1, Album = 2, Even = 3 };
constexpr int kChoices = 4;

// mpv's replaygain mode and audio filter chain for a choice; anything unknown is off.
struct MpvSettings {
    const char *replaygain;
    const char *af;
};
MpvSettings mpvSettingsFor(int choice);

} // namespace loudness

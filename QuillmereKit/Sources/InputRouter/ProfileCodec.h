#pragma once

#include <string>
#include <string_view>

#include "InputRouter/GameKeymaps.h"
#include "InputRouter/KeymapProfile.h"
#include "InputRouter/ProfileError.h"
#include "QuillmereCore/Bytes.h"

namespace qm {

// The one gate between keymap documents and keymap values: every read ends with validation and
// every write begins with it, so nothing invalid is handed out or written. Each failure is one
// ProfileError naming the first broken rule by its member path ("layouts[1].actions[0].at.x =
// 1.5 is outside 0…1"). Stateless; any thread.
struct ProfileCodec {
    static constexpr int currentVersion = 1;  // of format 1 and of every KeymapProfile
    static constexpr double maxStickRadius = 0.5;
    static constexpr double maxSensitivity = 20.0;
    static constexpr int keymapsVersion = 2;

    // Format 1, one profile.
    static Bytes encode(const KeymapProfile& profile);
    static KeymapProfile decode(ByteView data);
    static void validate(const KeymapProfile& profile);

    // Format 2, every layout of a game. Reading takes format 1 as well, as keymaps of one layout
    // named `migratedLayoutName` with a new id; its actions keep theirs.
    static Bytes encode(const GameKeymaps& keymaps);
    static GameKeymaps decodeKeymaps(ByteView data, std::string_view migratedLayoutName);
    static void validate(const GameKeymaps& keymaps);

    // Keys pass; a mouse button must be 0, 1 or 2 and a gamepad trigger one named button.
    // `path` names the trigger in the message.
    static void checkTrigger(const Trigger& trigger, const std::string& path);
};

}  // namespace qm

// The two choices of a run that the window offers as radio groups: the kind
// of JAD written and the kind of MIDlet the IDS descriptor names. The window
// and the settings file number them by the group's item index; the
// conversions here are the one place that numbering is read or written.
#pragma once

namespace midlet {

enum class JadKind {
    Full,    // every manifest line, then the JAR's size and place
    Simple,  // only the MIDlet-1 lines
};

enum class MidletType {
    None,  // the IDS names no card folder
    Application,
    Game,
};

// The item index of `jad_gen`: 0 full, 1 simple. The window always has one
// of the two chosen; any other index reads as full.
constexpr JadKind JadKindFromIndex(int index) {
    return index == 1 ? JadKind::Simple : JadKind::Full;
}

constexpr int JadKindIndex(JadKind kind) {
    return kind == JadKind::Simple ? 1 : 0;
}

// The item index of `jtype`, and the number [Java] Type stores: 0
// application, 1 game; anything else (-1 when nothing is chosen) is none.
constexpr MidletType MidletTypeFromIndex(int index) {
    switch (index) {
        case 0:
            return MidletType::Application;
        case 1:
            return MidletType::Game;
        default:
            return MidletType::None;
    }
}

constexpr int MidletTypeIndex(MidletType type) {
    switch (type) {
        case MidletType::Application:
            return 0;
        case MidletType::Game:
            return 1;
        case MidletType::None:
            break;
    }
    return -1;
}

}  // namespace midlet

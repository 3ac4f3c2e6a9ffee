#pragma once

#include "app/MainView.h"

#include <span>

// What each action of the main window looks like: its command (menu item, toolbar button,
// key and panel button), its picture and its hint. The toolbar's image list holds the
// pictures in this order.
struct TActionFace {
    TMainAction Action;
    int Command;
    int Icon;
    const wchar_t* Hint;
};

std::span<const TActionFace> ActionFaces();
// The face of an action, and of a command (nullptr for a command that is no action's).
const TActionFace& FaceOf(TMainAction action);
const TActionFace* FaceOfCommand(int command);

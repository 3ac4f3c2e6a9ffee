#pragma once

class QAction;
class QKeySequence;

// Makes `item` (a menu or toolbar item) a face of `action`: it shows the action's caption,
// hint, icon and shortcut, is enabled and visible with it, and runs it when chosen. The shortcut
// stays the action's own: the item answers it only while its menu is open.
void LinkToAction(QAction* item, QAction* action);

// Gives an action its keyboard shortcut and names the keys after its hint, so that tool tips
// show them; the status-bar hint keeps its words only.
void SetActionShortcut(QAction* action, const QKeySequence& keys);

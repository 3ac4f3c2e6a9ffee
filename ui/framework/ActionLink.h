#pragma once

class QAction;

// Makes `item` (a menu or toolbar item) a face of `action`: it shows the action's caption,
// hint and icon, is enabled and visible with it, and runs it when chosen.
void LinkToAction(QAction* item, QAction* action);

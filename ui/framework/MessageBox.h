#pragma once

#include <QString>

#include <functional>

// A modal message box with the text, one OK button and no icon, captioned with the
// application's title.
void ShowMessage(const QString& text);

// For tests: receives (caption, text) instead of a box being shown; an empty sink restores
// the real box.
using TMessageSink = std::function<void(const QString& caption, const QString& text)>;
void SetMessageSink(TMessageSink sink);

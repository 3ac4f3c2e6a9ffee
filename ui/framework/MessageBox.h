#pragma once

#include <QString>

#include <functional>

// A modal message box with the text, one OK button and no icon, captioned with the
// application's title.
void ShowMessage(const QString& text);

// A modal question with Yes and No (the default), captioned with the application's title;
// true for Yes.
bool AskYesNo(const QString& question);

// For tests: receives (caption, text) instead of a box being shown (a question is then answered
// No); an empty sink restores the real boxes.
using TMessageSink = std::function<void(const QString& caption, const QString& text)>;
void SetMessageSink(TMessageSink sink);

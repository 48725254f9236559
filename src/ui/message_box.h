#pragma once

#include <QString>
#include <functional>

class QWidget;

namespace ui {

// Answers as the program compares them.
inline constexpr int kIdOk = 1;
inline constexpr int kIdCancel = 2;
inline constexpr int kIdYes = 6;
inline constexpr int kIdNo = 7;

enum class MessageButtons { Ok, OkCancel, YesNo };

// A modal message box on the window thread (from a worker it goes through ui::Ask). Returns
// the button chosen.
int MessageBox(QWidget* owner, const QString& text, const QString& caption,
               MessageButtons buttons = MessageButtons::Ok);

// Replaces the message box with a function (tests, scripted runs); an empty function restores it.
using MessageBoxHandler =
    std::function<int(const QString& text, const QString& caption, MessageButtons buttons)>;
void SetMessageBoxHandler(MessageBoxHandler handler);

}  // namespace ui

#pragma once

#include <QByteArray>
#include <QIcon>
#include <QString>

// The skin: layouts, style sheets and images packed in one zip file. The zip is read once with
// libzip and unpacked into a private folder that Qt reaches through the "skin:" search prefix,
// so style sheets and images name their files as "skin:Login/1.png".
namespace ui {

// Opens the resource zip (e.g. "Skin.zip" in the program folder). A relative name is taken
// from the current directory. Replaces a skin opened before. False when the file cannot be
// read as a zip; the previous skin then stays.
bool SetResourceZip(const QString& zipPath);

// True once a skin is open.
bool HasSkin();

// A file of the skin by its name in the zip; "\" counts as "/". Empty when absent.
QByteArray ReadSkinFile(const QString& name);
bool SkinFileExists(const QString& name);

// Path on disk of a skin file (for QPixmap, QIcon, style sheets); empty when absent.
QString SkinFilePath(const QString& name);

// The program's icon from the skin.
QIcon ProgramIcon();

// "微软雅黑", the family the layouts name, is matched to the installed CJK sans-serif face.
void SetupFonts();

}  // namespace ui

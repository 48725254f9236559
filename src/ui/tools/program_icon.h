#pragma once

#include <QColor>
#include <QImage>
#include <QRectF>

class QPainter;

// The program's drawn artwork shared by the skin generator and the dialog programs, which
// draw their icon at run time instead of reading it from the skin.
namespace skinart {

inline const QColor kBlueDeep(0x0d, 0x47, 0xa1);
inline const QColor kBlue(0x17, 0x6f, 0xd6);
inline const QColor kTeal(0x00, 0xa6, 0xc6);

// A speed gauge: an open arc with ticks and a needle, in `color`, fitted in `box`.
void DrawGauge(QPainter& p, const QRectF& box, const QColor& color, qreal needleDeg);

// The program icon, `size` pixels square.
QImage ProgramIcon(int size);

}  // namespace skinart

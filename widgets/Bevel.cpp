#include "widgets/Bevel.h"

Bevel::Bevel(QWidget *parent) : QFrame(parent)
{
    setFrameShape(QFrame::HLine);
    setFrameShadow(QFrame::Sunken);
    setFixedHeight(2);
}

#pragma once

#include <QFrame>

// A horizontal line 2 pixels high.
class Bevel : public QFrame
{
    Q_OBJECT
public:
    explicit Bevel(QWidget *parent = nullptr);
};

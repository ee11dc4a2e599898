#pragma once
// Pictures of the instrument's screen as the operator should see it: the boot loader waiting
// for a file, and the screen after a successful programming. Fixed texts on navy, one row each.
#include <QFrame>

namespace firmware {

class ScreenPicture : public QFrame {
    Q_OBJECT
public:
    enum class Kind { LoaderWaiting, ProgrammingDone };
    explicit ScreenPicture(Kind kind, QWidget *parent = nullptr);
};

// An arrow pointing right, at the picture.
class PictureArrow : public QWidget {
    Q_OBJECT
public:
    explicit PictureArrow(QWidget *parent = nullptr);
    QSize sizeHint() const override { return {48, 22}; }

protected:
    void paintEvent(QPaintEvent *event) override;
};

} // namespace firmware

#include "FocusMark.h"

#include <QAbstractItemView>
#include <QApplication>
#include <QKeyEvent>
#include <QPainter>
#include <QTimer>

namespace {

// A bright inner line that stands out against the purple and a dark outer line that stands out
// against white, so the ring is clear on every background of the program.
const QColor kInnerColour(255, 214, 0);
const QColor kOuterColour(20, 20, 20);
constexpr int kInnerWidth = 2;
constexpr int kOuterWidth = 1;
constexpr int kMargin = kInnerWidth + kOuterWidth;
// The program's fields and buttons are rounded by up to this much; larger controls by less.
constexpr int kLargestRadius = 17;
constexpr int kTallControl = 50;
constexpr int kTallControlRadius = 7;

bool movesTheFocus(int key)
{
    switch (key) {
    case Qt::Key_Tab:
    case Qt::Key_Backtab:
    case Qt::Key_Up:
    case Qt::Key_Down:
    case Qt::Key_Left:
    case Qt::Key_Right:
        return true;
    default:
        return false;
    }
}

// What the ring goes around: the focused widget, or the current row's widget of a list.
QWidget* targetOf(QWidget* focused)
{
    if (auto* view = qobject_cast<QAbstractItemView*>(focused)) {
        if (QWidget* row = view->indexWidget(view->currentIndex())) {
            return row;
        }
    }
    return focused;
}

class Ring : public QWidget
{
public:
    explicit Ring(QWidget* parent) : QWidget(parent)
    {
        setObjectName(QStringLiteral("focusMark"));
        setAttribute(Qt::WA_TransparentForMouseEvents);
        setAttribute(Qt::WA_NoSystemBackground);
        setFocusPolicy(Qt::NoFocus);
    }

    void setRadius(int pixels)
    {
        radius = pixels;
        update();
    }

protected:
    void paintEvent(QPaintEvent* /*event*/) override
    {
        QPainter painter(this);
        painter.setRenderHint(QPainter::Antialiasing);
        const QRectF outer = QRectF(rect()).adjusted(0.5, 0.5, -0.5, -0.5);
        painter.setPen(QPen(kOuterColour, kOuterWidth));
        painter.drawRoundedRect(outer, radius + kMargin, radius + kMargin);
        const qreal in = kOuterWidth + kInnerWidth / 2.0;
        painter.setPen(QPen(kInnerColour, kInnerWidth));
        painter.drawRoundedRect(QRectF(rect()).adjusted(in, in, -in, -in), radius + kInnerWidth / 2.0,
                                radius + kInnerWidth / 2.0);
    }

private:
    int radius = 0;
};

} // namespace

FocusMark::FocusMark(QObject* parent) : QObject(parent)
{
    qApp->installEventFilter(this);
    connect(qApp, &QApplication::focusChanged, this, &FocusMark::follow);
}

FocusMark::~FocusMark()
{
    delete ring.data();
}

QWidget* FocusMark::markedWidget() const
{
    return ring && ring->isVisible() ? target.data() : nullptr;
}

bool FocusMark::eventFilter(QObject* object, QEvent* event)
{
    switch (event->type()) {
    case QEvent::KeyPress:
        if (movesTheFocus(static_cast<QKeyEvent*>(event)->key())) {
            keyboardInUse = true;
            // After the key has done its work: a list's current row may have moved.
            QTimer::singleShot(0, this, &FocusMark::follow);
        }
        break;
    case QEvent::MouseButtonPress:
        if (keyboardInUse) {
            keyboardInUse = false;
            follow();
        }
        break;
    case QEvent::Move:
    case QEvent::Resize:
    case QEvent::Show:
    case QEvent::Hide:
        if (object == target) {
            follow();
        }
        break;
    default:
        break;
    }
    return false;
}

void FocusMark::follow()
{
    QWidget* focused = QApplication::focusWidget();
    target = focused ? targetOf(focused) : nullptr;
    if (!keyboardInUse || !target || !target->isVisible() || !target->parentWidget()) {
        if (ring) {
            ring->hide();
        }
        return;
    }
    const int radius =
        target->height() > kTallControl ? kTallControlRadius : qMin(target->height() / 2, kLargestRadius);
    if (!ring || ring->parentWidget() != target->parentWidget()) {
        delete ring.data();
        ring = new Ring(target->parentWidget());
    }
    static_cast<Ring*>(ring.data())->setRadius(radius);
    ring->setGeometry(target->geometry().adjusted(-kMargin, -kMargin, kMargin, kMargin));
    ring->raise();
    ring->show();
}

#include "NotificationBox.h"
#include "ui_NotificationBox.h"

#include "ScreenFit.h"

#include <QApplication>
#include <QFontMetrics>
#include <QGuiApplication>
#include <QScreen>
#include <QStyle>
#include <QTextLayout>
#include <QtDebug>

namespace {

// The label's own font size, and the smallest a long text may step down to.
constexpr int kTextPixels = 17;
constexpr int kSmallestTextPixels = 12;
// A wrapped text keeps this far from the label's sides, clear of the panel's border.
constexpr int kWrapMargin = 16;

// The screen the box covers in full-screen mode: that of the owner's full-screen window.
QRect fullScreenArea(const QWidget* parent)
{
    if (const QWidget* owner = parent ? parent->window() : nullptr) {
        if (!owner->geometry().isEmpty()) {
            return owner->geometry();
        }
    }
    const QScreen* screen = QGuiApplication::primaryScreen();
    return screen ? screen->geometry() : QRect(0, 0, 1920, 1080);
}

// Size of `text` as the label draws it: each line centred, no wrapping.
QSize drawnSize(const QFont& font, const QString& text)
{
    return QFontMetrics(font).boundingRect(QRect(0, 0, 1 << 20, 1 << 20), Qt::AlignCenter, text).size();
}

bool fits(const QFont& font, const QString& text, const QSize& area)
{
    const QSize drawn = drawnSize(font, text);
    return drawn.width() <= area.width() && drawn.height() <= area.height();
}

// `text` broken into lines no wider than `width`: at spaces where it can, anywhere in a word
// too long for a line, and at every line feed of its own.
QStringList wrappedLines(const QFont& font, const QString& text, int width)
{
    QStringList lines;
    QTextOption option(Qt::AlignHCenter);
    option.setWrapMode(QTextOption::WrapAtWordBoundaryOrAnywhere);
    for (const QString& paragraph : text.split(QLatin1Char('\n'))) {
        QTextLayout layout(paragraph, font);
        layout.setTextOption(option);
        layout.beginLayout();
        for (QTextLine line = layout.createLine(); line.isValid(); line = layout.createLine()) {
            line.setLineWidth(width);
            const QString piece = paragraph.mid(line.textStart(), line.textLength()).trimmed();
            if (!piece.isEmpty() || line.textStart() == 0) {
                lines << piece;
            }
        }
        layout.endLayout();
    }
    return lines;
}

} // namespace

NotificationBox::NotificationBox(bool twoButtons, const QString& text, QWidget* parent, bool fullScreen)
    : QDialog(parent, Qt::FramelessWindowHint), ui(std::make_unique<Ui::NotificationBox>())
{
    ui->setupUi(this);
    connect(ui->bt_no, &QPushButton::clicked, this, &QDialog::reject);
    connect(ui->bt_yes, &QPushButton::clicked, this, &NotificationBox::bt_confirm_press);
    connect(ui->bt_ok, &QPushButton::clicked, this, &QDialog::reject);
    connect(ui->bt_yes, &QPushButton::clicked, this, &QDialog::reject);

    const int titleBarHeight = QApplication::style()->pixelMetric(QStyle::PM_TitleBarHeight);
    if (fullScreen) {
        const QRect area = fullScreenArea(parent);
        setGeometry(area);
        ui->bg->setGeometry(QRect(QPoint(0, 0), area.size()));
        ui->noti->setGeometry(ScreenFit::notificationPanel(area.size()));
    } else {
        // Centred over the parent's window (the platform's own dialog placement is not the same
        // everywhere), then shifted by the offsets.
        QPoint origin = pos();
        if (const QWidget* owner = parentWidget() ? parentWidget()->window() : nullptr) {
            const QRect area = owner->geometry();
            origin = area.topLeft() + QPoint((area.width() - width()) / 2, (area.height() - height()) / 2);
        }
        move(origin.x() + horizontalOffset, origin.y() + verticalOffset + titleBarHeight);
    }
    setAttribute(Qt::WA_TranslucentBackground);
    showText(text);
    // A screen reader announces the box by its kind and its text; the window title stays
    // the class name that scripts find it by.
    setAccessibleName(QString::fromUtf8(twoButtons ? "확인 요청" : "알림"));
    setAccessibleDescription(text);
    if (twoButtons) {
        ui->bt_ok->hide();
    } else {
        ui->bt_yes->hide();
        ui->bt_no->hide();
    }
}

NotificationBox::~NotificationBox() = default;

void NotificationBox::showText(const QString& text)
{
    QLabel* label = ui->lb_content;
    label->setText(text);
    label->setToolTip(QString());
    label->ensurePolished();
    const QSize area = label->contentsRect().size();
    if (fits(label->font(), text, area)) {
        return;
    }
    // Too long for the panel: wrap it, then step the font down until every line shows.
    const QSize wrapArea(area.width() - 2 * kWrapMargin, area.height());
    QFont font = label->font();
    QStringList lines;
    for (int pixels = kTextPixels; pixels >= kSmallestTextPixels; --pixels) {
        font.setPixelSize(pixels);
        lines = wrappedLines(font, text, wrapArea.width());
        if (fits(font, lines.join(QLatin1Char('\n')), wrapArea)) {
            break;
        }
    }
    // Still too tall at the smallest size: the lines that fit, the last cut with an ellipsis,
    // and the whole text in the tool tip.
    if (!lines.isEmpty() && !fits(font, lines.join(QLatin1Char('\n')), wrapArea)) {
        while (lines.size() > 1 && !fits(font, lines.join(QLatin1Char('\n')), wrapArea)) {
            lines.removeLast();
        }
        lines.last() =
            QFontMetrics(font).elidedText(lines.last() + QChar(0x2026), Qt::ElideRight, wrapArea.width());
        label->setToolTip(text);
    }
    label->setStyleSheet(QStringLiteral("font:%1px;").arg(font.pixelSize()));
    label->setText(lines.join(QLatin1Char('\n')));
}

QString NotificationBox::text() const
{
    return ui->lb_content->text();
}

void NotificationBox::bt_confirm_press()
{
    emit confirm_press();
}

#include "ui/RowsArea.h"

#include <QAbstractSpinBox>
#include <QApplication>
#include <QChildEvent>
#include <QComboBox>
#include <QGridLayout>
#include <QPainter>
#include <QScreen>
#include <QScrollBar>
#include <QTimer>

namespace Vorlant {

namespace {

// The inputs whose value a wheel turn changes.
bool turnsWithWheel(const QObject* object) {
    return qobject_cast<const QComboBox*>(object) || qobject_cast<const QAbstractSpinBox*>(object);
}

} // namespace

// The header row of the rows (the first row of their grid), drawn over the rows scrolled
// beneath it, so that the columns stay named however far the rows scroll.
class HeaderStrip final : public QWidget {
public:
    HeaderStrip(QScrollArea* area)
        : QWidget(area->viewport())
        , m_area(area) {}

    // The strip reaches halfway into the spacing below the header row.
    int stripHeight() const {
        auto* grid = m_area->widget() ? qobject_cast<QGridLayout*>(m_area->widget()->layout()) : nullptr;
        if (!grid || grid->rowCount() < 2)
            return 0;
        return grid->cellRect(1, 0).top() - grid->verticalSpacing() / 2;
    }

    void place() {
        setVisible(stripHeight() > 0 && m_area->verticalScrollBar()->value() > 0);
        setGeometry(0, 0, m_area->viewport()->width(), stripHeight());
        raise();
        update();
    }

protected:
    void paintEvent(QPaintEvent*) override {
        QPainter(this).drawPixmap(0, 0, m_area->widget()->grab(rect()));
    }

private:
    QScrollArea* m_area;
};

RowsArea::RowsArea(QWidget* parent)
    : QScrollArea(parent) {
    setWidgetResizable(true);
    setFrameShape(QFrame::NoFrame);
    // No stop of its own in the Tab order: the rows scroll to whichever input gets the focus.
    setFocusPolicy(Qt::NoFocus);
    setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    // The rows lie on the window's own background, as they did before they could scroll.
    viewport()->setAutoFillBackground(false);
    m_header = new HeaderStrip(this);
    m_header->hide();
    connect(verticalScrollBar(), &QScrollBar::valueChanged, m_header, &HeaderStrip::place);
    // Once per pass of the event loop, after the layouts have taken in what changed: rows come
    // and go, and so do the notice lines above them.
    m_fit.setSingleShot(true);
    m_fit.setInterval(0);
    connect(&m_fit, &QTimer::timeout, this, &RowsArea::fitWindow);
    if (parent)
        parent->window()->installEventFilter(this);
    connect(qApp, &QApplication::focusChanged, this, [this](QWidget*, QWidget* now) { showFocused(now); });
}

void RowsArea::setHeightLimit(int limit) {
    if (qMax(limit, 0) == m_height_limit)
        return;
    m_height_limit = qMax(limit, 0);
    updateGeometry();
}

void RowsArea::fitWindow() {
    QWidget* window = this->window();
    QLayout* layout = window->layout();
    const QRect available = window->screen()->availableGeometry();
    const int frame = window->frameGeometry().height() - window->height();
    // The window's layout may not have seen the rows' new size yet.
    updateGeometry();
    layout->activate();
    const int others = layout->minimumSize().height() - minimumSizeHint().height();
    setHeightLimit(available.height() - frame - others);
    layout->activate();
    if (window->height() > available.height() - frame)
        window->resize(window->width(), available.height() - frame);
    // A window that grew at its place may reach past the screen's edge: moved back within.
    const QRect outer = window->frameGeometry();
    const int dx = qMax(qMin(available.right() - outer.right(), 0), available.left() - outer.left());
    const int dy = qMax(qMin(available.bottom() - outer.bottom(), 0), available.top() - outer.top());
    window->move(window->pos() + QPoint(dx, dy));
    m_header->place();
    // A row with the focus stays in view when the rows' room shrinks.
    showFocused(QApplication::focusWidget());
}

void RowsArea::showFocused(QWidget* focused) {
    // Clear of the header strip, which may only show once this scrolls.
    if (focused && widget() && widget()->isAncestorOf(focused))
        ensureWidgetVisible(focused, 50, 10 + m_header->stripHeight());
}

QSize RowsArea::rowsSize(QSize rows) const {
    if (!widget())
        return QSize(0, 0);
    QSize size = rows;
    if (size.height() > m_height_limit) {
        size.setHeight(m_height_limit);
        size.rwidth() += verticalScrollBar()->sizeHint().width();
    }
    return size + QSize(2 * frameWidth(), 2 * frameWidth());
}

QSize RowsArea::minimumSizeHint() const {
    return rowsSize(widget() ? widget()->minimumSizeHint() : QSize());
}

QSize RowsArea::sizeHint() const {
    return rowsSize(widget() ? widget()->sizeHint() : QSize());
}

// QScrollArea watches the widget it scrolls, and this the window. The rows come at run time, from the catalogue or
// the store: each input among them is caught as it is made ready to be shown.
bool RowsArea::eventFilter(QObject* watched, QEvent* event) {
    if ((watched == widget() && event->type() == QEvent::LayoutRequest) ||
        (watched == window() && event->type() == QEvent::Resize)) {
        m_fit.start();
    } else if (watched == widget() && event->type() == QEvent::ChildPolished) {
        QObject* child = static_cast<QChildEvent*>(event)->child();
        if (turnsWithWheel(child)) {
            static_cast<QWidget*>(child)->setFocusPolicy(Qt::StrongFocus);
            child->installEventFilter(this);
        }
    } else if (event->type() == QEvent::Wheel && turnsWithWheel(watched) &&
               !static_cast<QWidget*>(watched)->hasFocus()) {
        // Passed on unhandled: Qt then offers it to the parents, up to this area, which scrolls.
        event->ignore();
        return true;
    }
    return QScrollArea::eventFilter(watched, event);
}

} // namespace Vorlant

#include "ui/RowsArea.h"

#include <QAbstractSpinBox>
#include <QApplication>
#include <QChildEvent>
#include <QComboBox>
#include <QScrollBar>

namespace Vorlant {

namespace {

// The inputs whose value a wheel turn changes.
bool turnsWithWheel(const QObject* object) {
    return qobject_cast<const QComboBox*>(object) || qobject_cast<const QAbstractSpinBox*>(object);
}

} // namespace

RowsArea::RowsArea(QWidget* parent)
    : QScrollArea(parent) {
    setWidgetResizable(true);
    setFrameShape(QFrame::NoFrame);
    setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    // The rows lie on the window's own background, as they did before they could scroll.
    viewport()->setAutoFillBackground(false);
    connect(qApp, &QApplication::focusChanged, this, [this](QWidget*, QWidget* now) {
        if (now && widget() && widget()->isAncestorOf(now))
            ensureWidgetVisible(now);
    });
}

void RowsArea::setHeightLimit(int limit) {
    m_height_limit = qMax(limit, 0);
    updateGeometry();
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

// QScrollArea watches the widget it scrolls. The rows come at run time, from the catalogue or
// the store: each input among them is caught as it is made ready to be shown.
bool RowsArea::eventFilter(QObject* watched, QEvent* event) {
    if (watched == widget() && event->type() == QEvent::ChildPolished) {
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

#pragma once

#include <QScrollArea>

namespace Vorlant {

// The coin rows, scrolled when the window cannot grow to show them all. It asks for as much
// height as its rows need, up to a limit the window sets from the screen, so a short catalogue
// looks exactly as it would without it. A combo box in the rows takes the wheel only once it has
// the keyboard focus, since every change is stored at once; the wheel scrolls the rows instead.
// Whatever gets the focus among the rows is brought into view.
class RowsArea final : public QScrollArea {
    Q_OBJECT

public:
    explicit RowsArea(QWidget* parent = nullptr);

    void setHeightLimit(int limit);

    QSize minimumSizeHint() const override;
    QSize sizeHint() const override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    QSize rowsSize(QSize rows) const;

    int m_height_limit = QWIDGETSIZE_MAX;
};

} // namespace Vorlant

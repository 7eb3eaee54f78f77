#pragma once

#include <QScrollArea>
#include <QTimer>

namespace Vorlant {

class HeaderStrip;

// The coin rows, scrolled when the window cannot grow to show them all. It asks for as much
// height as its rows need, up to a limit the window sets from the screen, so a short catalogue
// looks exactly as it would without it. A combo box in the rows takes the wheel only once it has
// the keyboard focus, since every change is stored at once; the wheel scrolls the rows instead.
// Whatever gets the focus among the rows is brought into view.
class RowsArea final : public QScrollArea {
    Q_OBJECT

public:
    explicit RowsArea(QWidget* parent = nullptr);

    // Lets the window grow with the rows up to the work area of its screen, less its frame, and
    // moves it wholly onto that screen. Done by itself whenever the rows or the window change.
    void fitWindow();

    QSize minimumSizeHint() const override;
    QSize sizeHint() const override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    QSize rowsSize(QSize rows) const;
    void showFocused(QWidget* focused);

    void setHeightLimit(int limit);

    int m_height_limit = QWIDGETSIZE_MAX;
    HeaderStrip* m_header;
    QTimer m_fit;
};

} // namespace Vorlant

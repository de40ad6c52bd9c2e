#pragma once

#include <QWidget>

// A lowered bevel: a box or a single line along one edge of its rectangle, drawn in the
// palette's shadow and highlight colours. It takes no input and draws nothing else, so it
// can lie over other widgets as a separator or a frame.
class TBevel : public QWidget {
    Q_OBJECT
public:
    enum class TShape { Box, TopLine, BottomLine };

    explicit TBevel(TShape shape, QWidget* parent = nullptr);

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    TShape shape_;
};

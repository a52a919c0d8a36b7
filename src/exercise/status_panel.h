#pragma once
// The Status panel on the main window's left edge: sixteen labels in one column, fixed
// captions on the even indexes, values on the odd ones.

#include <QWidget>

class QLabel;

class ExerciseScreen;

class StatusPanel : public QWidget {
    Q_OBJECT
public:
    enum Value {
        StudentNumber = 1,
        Name = 3,
        TotalLines = 5,
        CurrentLine = 7,
        Score = 9,
        Speed = 11,
        Accuracy = 13,
        RemainingTime = 15
    };

    explicit StatusPanel(QWidget* parent = nullptr);
    QLabel* label(int index) const;
    void setValue(int index, const QString& text);
    QString value(int index) const;
    // From now on shows the exercise's line count, current line, cursor column (in the
    // accuracy's place until the figures come) and time left, as the screen announces them.
    void follow(const ExerciseScreen* screen);

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    QLabel* labels_[16] = {};
};

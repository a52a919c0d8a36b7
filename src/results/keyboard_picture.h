#pragma once
// A US keyboard drawn with each key coloured by its error rate: the characters typed wrong on
// it over the characters typed on it, green for none, through yellow, to red for a third or
// more; keys nothing was typed on stay grey. A legend under the keys says so.

#include "exercise/us_keyboard.h"

#include <QWidget>

class KeyboardPicture : public QWidget {
    Q_OBJECT
public:
    explicit KeyboardPicture(QWidget* parent = nullptr);

    void setRates(const QList<UsKeyboard::KeyRate>& rates);
    const QList<UsKeyboard::KeyRate>& rates() const { return rates_; }
    // The colour a key is filled with: grey when nothing was typed on it.
    static QColor colourFor(const UsKeyboard::KeyRate& rate);
    // Where a key of UsKeyboard::keys() is drawn.
    QRectF keyRect(int key) const;

    QSize sizeHint() const override;

protected:
    void paintEvent(QPaintEvent* event) override;
    bool event(QEvent* event) override;

private:
    double unit() const;

    QList<UsKeyboard::KeyRate> rates_;
};

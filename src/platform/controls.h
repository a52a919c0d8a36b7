#pragma once
// A control made the way every window here makes one: its object name (the name tests find it
// by), its parent and its place in twips.

#include <QRect>
#include <QString>
#include <QWidget>
#include <utility>

template <typename Control, typename... Args>
Control* placeControl(QWidget* parent, const char* name, const QRect& twips, Args&&... args)
{
    auto* control = new Control(std::forward<Args>(args)..., parent);
    control->setObjectName(QString::fromLatin1(name));
    control->setGeometry(twips);
    return control;
}

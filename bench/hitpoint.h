// Where a person clicks a button: on a check box's or option button's
// indicator, which with the caption is all of it that reacts; a push button
// anywhere.
#pragma once

#include <QAbstractButton>
#include <QCheckBox>
#include <QRadioButton>
#include <QStyle>
#include <QStyleOptionButton>

inline QPoint hitPoint(QAbstractButton *button) {
    QStyleOptionButton option;
    option.initFrom(button);
    if (qobject_cast<QCheckBox *>(button) != nullptr)
        return button->style()
            ->subElementRect(QStyle::SE_CheckBoxIndicator, &option, button)
            .center();
    if (qobject_cast<QRadioButton *>(button) != nullptr)
        return button->style()
            ->subElementRect(QStyle::SE_RadioButtonIndicator, &option, button)
            .center();
    return button->rect().center();
}

#include "exercise/exercise_opener.h"

#include "exercise/exercise_screen.h"
#include "platform/input_method.h"
#include "platform/message_box.h"

#include <QMdiArea>
#include <QScrollBar>

ExerciseScreen* startExercise(QMdiArea* area, QScrollBar* scrollBar, ExerciseKind kind, const QByteArray& fileText,
                              const ExerciseTaker& taker, const std::function<void(ExerciseScreen*)>& wire)
{
    auto* screen = new ExerciseScreen(area, scrollBar, kind, taker);
    wire(screen);
    // A bad exercise file has been reported and the exercise closed again: nothing to show.
    if (!screen->load(fileText))
        return nullptr;
    // A detection may misfire, so the student is told and the exercise still opens.
    if (kind == ExerciseKind::Chinese && !InputMethod::chineseInputAvailable())
        MessageBoxes::show(area->window(), QStringLiteral("中文录入"),
                           QStringLiteral("没有检测到可以输入中文的输入法，可能只能输入英文字母和符号。\n\n"
                                          "中文录入要用 fcitx5 拼音输入法和它的 Qt 6 前端：请老师（系统管理员）"
                                          "安装 fcitx5、fcitx5-chinese-addons 和 fcitx5-frontend-qt6，"
                                          "用 im-config 选定 fcitx5（它设置 QT_IM_MODULE=fcitx），再重新登录。\n\n"
                                          "按“确定”继续打开中文录入。"));
    scrollBar->show();
    screen->showInMainWindow();
    return screen;
}

#include "service/store_places.h"

#include <QRegularExpression>

#ifndef TYPELAB_INSTALLED_APP_FOLDER
#define TYPELAB_INSTALLED_APP_FOLDER "/opt/typelab"
#endif
#ifndef TYPELAB_INSTALLED_STATE_FOLDER
#define TYPELAB_INSTALLED_STATE_FOLDER "/var/lib/typelab"
#endif

StorePlaces StorePlaces::installed()
{
    const QString state = QStringLiteral(TYPELAB_INSTALLED_STATE_FOLDER);
    return {QStringLiteral(TYPELAB_INSTALLED_APP_FOLDER), state, state + QStringLiteral("/share")};
}

StorePlaces StorePlaces::ownFolder(const QString& appFolder)
{
    return {appFolder, appFolder, QString()};
}

QString StorePlaces::ownedText(const QString& relativeName) const
{
    static const QRegularExpression names(QStringLiteral("^(yw/ydzcs[0-9]|zw/cdzcs[0-9]|data/help)\\.dat$"));
    return names.match(relativeName).hasMatch() ? stateFolder + u'/' + relativeName : QString();
}

#include "store/store_types.h"

QString storeProblem(const StoreReply& reply)
{
    if (reply.status == StoreStatus::Unreachable)
        return QStringLiteral("成绩服务没有响应：%1").arg(reply.message);
    return reply.message;
}

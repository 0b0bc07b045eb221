#include "remote/RequestAccess.h"

#include "remote/AccessKey.h"
#include "remote/HostCheck.h"
#include "remote/HttpRequestParser.h"

namespace RequestAccess {

Decision decide(const HttpRequest &request, const Policy &policy, bool addressBlocked)
{
    if (!HostCheck::isOwnOrDirectFetch(request))
        return Decision::ForeignSite;
    if (!policy.keyRequired)
        return Decision::Allowed;
    if (addressBlocked)
        return Decision::Blocked;
    const QByteArray presented = AccessKey::presentedBy(request);
    if (presented.isEmpty())
        return Decision::KeyMissing;
    return AccessKey::matches(presented, policy.key) ? Decision::Allowed : Decision::KeyWrong;
}

} // namespace RequestAccess

#include "capture/Picture.h"

Picture::Picture(QByteArray bytes)
    : m_storage(std::make_shared<const QByteArray>(std::move(bytes)))
{
}

Picture::Picture(std::shared_ptr<const QByteArray> storage)
    : m_storage(std::move(storage))
{
}

const QByteArray &Picture::bytes() const
{
    static const QByteArray empty;
    return m_storage ? *m_storage : empty;
}

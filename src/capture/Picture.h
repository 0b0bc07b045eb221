// Picture: the bytes of one RGBA picture, read-only and shared by everyone who holds it (the
// camera's history, the frame pump, an encoder's queue, the preview). Copying a Picture shares
// the bytes through a std::shared_ptr: the last holder to let go releases them, back to the
// camera's PicturePool when they came from one, so the pool knows a buffer is free from its
// own ownership record, never from a container's internals. Any thread may hold, copy and
// drop a Picture; nobody writes into the bytes once they are one.
#pragma once

#include <QByteArray>

#include <memory>

class Picture
{
public:
    Picture() = default;
    // Takes bytes made elsewhere (a test picture, black, a generated frame); implicit, as the
    // array is shared, not copied.
    Picture(QByteArray bytes);
    // Takes a buffer whose last release returns it to its owner (see PicturePool).
    explicit Picture(std::shared_ptr<const QByteArray> storage);

    // The bytes; an empty array for an empty Picture. Valid while this Picture holds them.
    const QByteArray &bytes() const;
    const char *constData() const { return bytes().constData(); }
    qsizetype size() const { return m_storage ? m_storage->size() : 0; }
    bool isEmpty() const { return size() == 0; }
    char at(qsizetype index) const { return bytes().at(index); }
    // True when both hold the very same bytes (the same picture handed out twice), not merely
    // equal ones.
    bool isSharedWith(const Picture &other) const { return m_storage && m_storage == other.m_storage; }

    friend bool operator==(const Picture &a, const Picture &b) { return a.bytes() == b.bytes(); }

private:
    std::shared_ptr<const QByteArray> m_storage;
};

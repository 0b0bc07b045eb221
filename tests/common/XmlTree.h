// A whole XML document as a tree of elements, for the strict timeline readers of the tests.
#pragma once

#include <QByteArray>
#include <QList>
#include <QString>
#include <QStringView>
#include <QXmlStreamAttributes>

#include <optional>

struct XmlNode
{
    QString name;
    QXmlStreamAttributes attributes;
    QString text;
    QList<XmlNode> children;

    const XmlNode *child(QStringView childName) const;
    QList<const XmlNode *> all(QStringView childName) const;
    QString textOf(QStringView childName) const;
    QString attribute(QStringView attributeName) const { return attributes.value(attributeName.toString()).toString(); }
    bool hasAttribute(QStringView attributeName) const { return attributes.hasAttribute(attributeName.toString()); }
    QString id() const { return attribute(u"id"); }
};

// The root element; none, with the parser's complaint in *error, when the text is not
// well-formed XML.
std::optional<XmlNode> parseXmlTree(const QByteArray &document, QString *error);

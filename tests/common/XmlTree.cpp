#include "XmlTree.h"

#include <QXmlStreamReader>

const XmlNode *XmlNode::child(QStringView childName) const
{
    for (const XmlNode &c : children) {
        if (c.name == childName)
            return &c;
    }
    return nullptr;
}

QList<const XmlNode *> XmlNode::all(QStringView childName) const
{
    QList<const XmlNode *> found;
    for (const XmlNode &c : children) {
        if (c.name == childName)
            found.append(&c);
    }
    return found;
}

QString XmlNode::textOf(QStringView childName) const
{
    const XmlNode *c = child(childName);
    return c ? c->text.trimmed() : QString();
}

std::optional<XmlNode> parseXmlTree(const QByteArray &document, QString *error)
{
    QXmlStreamReader reader(document);
    QList<XmlNode> stack;
    std::optional<XmlNode> root;
    while (!reader.atEnd()) {
        reader.readNext();
        if (reader.isStartElement())
            stack.append(XmlNode{reader.name().toString(), reader.attributes(), {}, {}});
        else if (reader.isCharacters() && !stack.isEmpty())
            stack.last().text += reader.text();
        else if (reader.isEndElement() && stack.size() == 1)
            root = stack.takeLast();
        else if (reader.isEndElement())
            stack[stack.size() - 2].children.append(stack.takeLast());
    }
    if (reader.hasError()) {
        *error = QStringLiteral("not well-formed XML, line %1: %2").arg(reader.lineNumber()).arg(reader.errorString());
        return std::nullopt;
    }
    if (!root)
        *error = QStringLiteral("no document");
    return root;
}

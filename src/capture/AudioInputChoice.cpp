#include "capture/AudioInputChoice.h"

#include <QRegularExpression>

#include <algorithm>

QString AudioInputChoice::separator()
{
    return QStringLiteral(" \u2014 ");
}

AudioInputChoice AudioInputChoice::parse(const QString &text)
{
    // The last " — In N" or " — In N+M" ends the entry; a device name may hold dashes itself.
    static const QRegularExpression pattern(QStringLiteral("^(.*) \u2014 In (\\d{1,3})(?:\\+(\\d{1,3}))?$"));
    const QRegularExpressionMatch match = pattern.match(text);
    if (!match.hasMatch())
        return AudioInputChoice{text, 0, 0};
    const int first = match.captured(2).toInt();
    const bool isPair = match.hasCaptured(3);
    // Only neighbouring inputs make a pair; anything else is not an entry of ours.
    if (first < 1 || (isPair && match.captured(3).toInt() != first + 1))
        return AudioInputChoice{text, 0, 0};
    return AudioInputChoice{match.captured(1), first, isPair ? 2 : 1};
}

QString AudioInputChoice::inputLabel() const
{
    if (!namesInputs())
        return QString();
    if (inputCount == 2)
        return QStringLiteral("In %1+%2").arg(firstInput).arg(firstInput + 1);
    return QStringLiteral("In %1").arg(firstInput);
}

QString AudioInputChoice::wholeDeviceLabel(int deviceChannels)
{
    return deviceChannels >= 2 ? QStringLiteral("In 1+2") : QStringLiteral("In 1");
}

QString AudioInputChoice::text() const
{
    return namesInputs() ? deviceName + separator() + inputLabel() : deviceName;
}

int AudioInputChoice::channelsFrom(int deviceChannels, int maxChannels) const
{
    if (namesInputs())
        return inputCount == 2 ? 2 : 1;
    return std::clamp(std::min(deviceChannels, maxChannels < 1 ? 2 : maxChannels), 1, 2);
}

QStringList AudioInputChoice::choicesFor(const QString &deviceName, int deviceChannels)
{
    QStringList choices{deviceName};
    if (deviceChannels < 2)
        return choices;
    for (int input = 1; input <= deviceChannels; ++input)
        choices.append(AudioInputChoice{deviceName, input, 1}.text());
    for (int input = 3; input + 1 <= deviceChannels; input += 2)
        choices.append(AudioInputChoice{deviceName, input, 2}.text());
    return choices;
}

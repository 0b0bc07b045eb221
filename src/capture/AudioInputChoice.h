// AudioInputChoice: which inputs of which capture device a channel takes: one input (mono) or
// a pair of neighbouring inputs (stereo). The input lists show it as the device name followed
// by the inputs ("Interface — In 3", "Interface — In 1+2"); a device name alone takes the
// device as it comes: its first pair, or its only input.
//
// Plain value type, no threads.
#pragma once

#include <QString>
#include <QStringList>

struct AudioInputChoice
{
    // Between the device name and the inputs in a list entry.
    static QString separator();

    QString deviceName;
    // 1-based; 0 takes the device as it comes (then inputCount is 0 too).
    int firstInput = 0;
    // 1 (mono) or 2 (a stereo pair).
    int inputCount = 0;

    // A list entry back into its parts; text that names no inputs is a device name alone.
    static AudioInputChoice parse(const QString &text);
    // The list entry: the device name, with " — In 3" or " — In 1+2" when inputs are named.
    QString text() const;
    // "In 3", "In 1+2"; empty for a device taken as it comes.
    QString inputLabel() const;
    // The label of what a device taken as it comes gives: "In 1+2" for two inputs or more,
    // "In 1" for one.
    static QString wholeDeviceLabel(int deviceChannels);
    bool namesInputs() const { return firstInput > 0; }

    // Where the inputs lie in a device of `deviceChannels` channels (0-based first, and how
    // many); a device taken as it comes gives its first min(maxChannels, 2) inputs. An input
    // beyond the device's channels is still counted: it is heard as silence.
    int firstIndex() const { return namesInputs() ? firstInput - 1 : 0; }
    int channelsFrom(int deviceChannels, int maxChannels = 2) const;

    // The entries offered for a device with `deviceChannels` inputs, in list order: the device
    // alone (its first pair or its only input), then, when it has more than one input, every
    // input on its own and every further pair (In 3+4, In 5+6, ...).
    static QStringList choicesFor(const QString &deviceName, int deviceChannels);

    bool operator==(const AudioInputChoice &other) const = default;
};

// The programme source: the activeSourceId setter, the keybinds of sources 1-4 and the
// application-wide key filter that turns those keys into source switches (each switch of a
// running take becomes a cut of its timeline and a line of its cut journal) and the marker
// key into a marker.
#include "app/ApplicationManager.h"

#include "common/ChannelRange.h"
#include "common/MonotonicClock.h"

#include <QDebug>
#include <QKeyEvent>
#include <QKeySequence>
#include <QWindow>


namespace {


// Objects that take typed text: the source keys must reach them as ordinary characters.
bool isTextEntry(const QObject *object)
{
    if (!object)
        return false;
    const QLatin1String className(object->metaObject()->className());
    static const QLatin1String kTextClasses[] = {
        QLatin1String("TextInput"), QLatin1String("TextEdit"), QLatin1String("LineEdit"),
        QLatin1String("TextField"), QLatin1String("SpinBox")};
    for (const QLatin1String &textClass : kTextClasses) {
        if (QString(className).contains(textClass))
            return true;
    }
    return false;
}

} // namespace

void ApplicationManager::switchToSource(int sourceId)
{
    m_activeSourceId = sourceId;
    emit activeSourceChanged();
    if (m_isRecording) {
        const qint64 takeMs = elapsedTakeMs();
        m_timelineCuts.append(TimelineCut{sourceId, takeMs});
        m_journal.noteSwitch(takeMs, sourceId);
    }
}

void ApplicationManager::setActiveSourceId(int sourceId)
{
    if (!isProgrammeSource(sourceId) || sourceId == m_activeSourceId)
        return;
    switchToSource(sourceId);
}

void ApplicationManager::setSourceKey(int sourceIndex, int key)
{
    if (sourceIndex < 0 || sourceIndex > 3)
        return;
    m_sourceKeys[size_t(sourceIndex)] = key;
    emit keybindsChanged();
    qDebug() << "[ApplicationManager] Keybind set for CAM" << sourceIndex + 1 << "->" << keyToString(key);
    studioSetupChanged();
}

int ApplicationManager::getSourceKey(int sourceIndex) const
{
    if (sourceIndex < 0 || sourceIndex > 3)
        return 0;
    return m_sourceKeys[size_t(sourceIndex)];
}

QString ApplicationManager::getSourceKeyName(int sourceIndex) const
{
    if (sourceIndex < 0 || sourceIndex > 3)
        return QString();
    return keyToString(m_sourceKeys[size_t(sourceIndex)]);
}

QString ApplicationManager::keyToString(int key) const
{
    if (key <= 0)
        return QString();
    if (key >= Qt::Key_0 && key <= Qt::Key_9)
        return QString(QChar(key));
    const QString text = QKeySequence(key).toString(QKeySequence::NativeText);
    return text.isEmpty() ? QString::number(key) : text;
}

bool ApplicationManager::eventFilter(QObject *watched, QEvent *event)
{
    if (event->type() != QEvent::KeyPress)
        return QObject::eventFilter(watched, event);
    if (m_isCapturingKeybind)
        return false;
    // Key presses reach the window before its focused item; a text field with focus must
    // still receive the digits, so look at the window's focus object too.
    if (isTextEntry(watched))
        return false;
    if (const auto *window = qobject_cast<const QWindow *>(watched); window && isTextEntry(window->focusObject()))
        return false;

    const int key = static_cast<QKeyEvent *>(event)->key();
    for (int c = 0; c < 4; ++c) {
        const int bound = m_sourceKeys[size_t(c)];
        if (bound == 0 || bound != key)
            continue;
        if (m_activeSourceId != c + 1)
            switchToSource(c + 1);
        return true;
    }
    // The marker key marks the running take; without one it is an ordinary key.
    if (m_markerKey != 0 && key == m_markerKey && m_isRecording) {
        dropMarker();
        return true;
    }
    return QObject::eventFilter(watched, event);
}

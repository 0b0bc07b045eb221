// RemoteApi: the JSON routes of the remote control, on top of ApplicationManager and the
// channel model. Builds the status document and carries out switching, recording and camera
// routing for a parsed request; the server decides which route a request takes and writes the
// answer. It holds no state of its own: every answer is built fresh from the manager.
//
// GUI thread only (recording control runs synchronously inside the request).
#pragma once

#include <QByteArray>
#include <QJsonObject>
#include <QPointer>

class ApplicationManager;
class InputChannelsModel;
struct HttpRequest;

class RemoteApi
{
public:
    explicit RemoteApi(ApplicationManager *manager);

    // The channel model used for names and the "active" fall-back; without one set, the
    // manager's own.
    void setChannelsModel(InputChannelsModel *model) { m_channelsModel = model; }
    InputChannelsModel *channelsModel() const;

    // The status document: its members in key order, four channel objects.
    QJsonObject status() const;
    QByteArray statusJson() const;
    QByteArray devicesJson() const;
    // The lists a camera's format is chosen from (?deviceLink=...&channelId=N), as the source
    // dialog of the window gets them.
    QByteArray sourceFormats(const HttpRequest &request) const;

    // Each carries out its route and returns the JSON body of the answer.
    QByteArray addSource(const HttpRequest &request);
    QByteArray removeSource(const HttpRequest &request);
    // Takes the microphone off a channel (channelId in the query or the body).
    QByteArray removeAudio(const HttpRequest &request);
    QByteArray switchSource(const HttpRequest &request);
    QByteArray toggleRecording();
    // "Collect files" of a studio take this machine led.
    QByteArray collectFiles();

    // A route that can refuse: 200 with `body`, or `status` with `body` as its error message.
    struct Answer
    {
        int status = 200;
        QByteArray body;
    };
    // POST /api/marker: a marker in the running take, named by the optional JSON body
    // {"name": "..."}; the answer carries its number, name and take time. 409 without a
    // running take, 400 for a body that is no such object.
    Answer dropMarker(const HttpRequest &request);

private:
    QJsonObject channelStatus(int channelId) const;

    ApplicationManager *m_manager;
    QPointer<InputChannelsModel> m_channelsModel;
};

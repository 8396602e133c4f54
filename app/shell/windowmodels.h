// What the windows are given: one narrow model or logic object per window, never the program
// itself, an endpoint or an engine.
#pragma once

class ActivityLog;
class ChatConversation;
class DirectoryModel;
class IncomingCall;
class MainWindowModel;
class Messaging;
class OptionsModel;
class OutgoingCall;
class CameraModel;
class ConnectionDoctor;

struct WindowModels {
    MainWindowModel &main;
    IncomingCall &incoming; // the incoming-call prompt and the busy notice
    OutgoingCall &outgoing; // the progress window and the directory window's call box
    ChatConversation &chat;
    CameraModel &camera; // the self view
    DirectoryModel &directory;
    Messaging &messaging; // compose and incoming message windows
    ActivityLog &log;
    OptionsModel &options;
    ConnectionDoctor &doctor; // Help > Connection Doctor
};

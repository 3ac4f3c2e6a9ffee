#include "winui/ActionFaces.h"

#include "winui/ResourceIds.h"

namespace {

constexpr TActionFace Faces[] = {
    {TMainAction::Config, IDM_CONFIG, IDI_CONFIG, L"Config"},
    {TMainAction::CleanupMarks, IDM_CLEANUPMARKS, IDI_CLEANUP, L"Cleanup marks"},
    {TMainAction::Exit, IDM_EXIT, IDI_EXIT, L"Exit program"},
    {TMainAction::SendEcho, IDM_SENDECHO, IDI_ECHO, L"Send Echo"},
    {TMainAction::GetDateTime, IDM_GETDATETIME, IDI_READCLOCK, L"Read date time"},
    {TMainAction::SetDateTime, IDM_SETDATETIME, IDI_WRITECLOCK, L"Write date/time"},
    {TMainAction::SetCurrDateTime, IDM_SETCURRDATETIME, IDI_WRITECURRENT,
     L"Write current date/time"},
    {TMainAction::SyncClock, IDM_SYNCCLOCK, IDI_SYNCCLOCK, L"Synchronise clock"},
};

} // namespace

std::span<const TActionFace> ActionFaces() {
    return Faces;
}

const TActionFace& FaceOf(TMainAction action) {
    for (const TActionFace& face : Faces)
        if (face.Action == action)
            return face;
    return Faces[0]; // every action has a face
}

const TActionFace* FaceOfCommand(int command) {
    for (const TActionFace& face : Faces)
        if (face.Command == command)
            return &face;
    return nullptr;
}

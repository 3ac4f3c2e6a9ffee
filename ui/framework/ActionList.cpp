#include "ui/framework/ActionList.h"

#include "ui/framework/Guard.h"
#include "ui/framework/ProcessMessages.h"

#include <QAbstractEventDispatcher>
#include <QAction>
#include <QCoreApplication>
#include <QVariant>

#include <algorithm>

namespace {

// Every list alive, updated together when the loop goes idle.
std::vector<TActionList*>& Lists() {
    static std::vector<TActionList*> lists;
    return lists;
}

void UpdateAllLists() {
    if (InProcessMessages())
        return;
    // A handler may create or destroy a list: walk a copy and skip the dead.
    const std::vector<TActionList*> lists = Lists();
    for (TActionList* list : lists)
        if (std::find(Lists().begin(), Lists().end(), list) != Lists().end())
            list->UpdateActions();
}

// Connects the idle signal of the main thread's dispatcher once per dispatcher.
void HookIdle() {
    static QPointer<QAbstractEventDispatcher> hooked;
    QAbstractEventDispatcher* dispatcher = QAbstractEventDispatcher::instance();
    if (dispatcher == nullptr || dispatcher == hooked)
        return;
    hooked = dispatcher;
    QObject::connect(dispatcher, &QAbstractEventDispatcher::aboutToBlock, dispatcher,
                     &UpdateAllLists);
}

} // namespace

TActionList::TActionList(QObject* parent) : QObject(parent) {
    Lists().push_back(this);
    HookIdle();
}

TActionList::~TActionList() {
    std::erase(Lists(), this);
}

void TActionList::Add(QAction* action, THandler onUpdate, THandler onExecute) {
    FEntries.push_back({action, std::move(onUpdate), std::move(onExecute)});
    connect(action, &QAction::triggered, this, [this, action] { Execute(action); });
}

void TActionList::UpdateActions() {
    for (const TEntry& entry : FEntries)
        UpdateEntry(entry);
}

void TActionList::Execute(QAction* action) {
    Guarded(action, [&] {
        const TEntry* found = Find(action);
        if (found == nullptr)
            return;
        const TEntry entry = *found; // the handlers may change the list
        UpdateEntry(entry);
        if (action->isEnabled() && entry.OnExecute)
            entry.OnExecute(action);
    });
}

void TActionList::UpdateEntry(const TEntry& entry) {
    QAction* action = entry.Action;
    if (action == nullptr)
        return;
    Guarded(action, [&] {
        if (entry.OnUpdate)
            entry.OnUpdate(action);
        else if (!entry.OnExecute)
            action->setEnabled(false);
    });
}

const TActionList::TEntry* TActionList::Find(const QAction* action) const {
    for (const TEntry& entry : FEntries)
        if (entry.Action == action)
            return &entry;
    return nullptr;
}

QString ActionCategory(const QAction* action) {
    return action->property("category").toString();
}

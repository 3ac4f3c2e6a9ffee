#pragma once

#include <QObject>
#include <QPointer>

#include <functional>
#include <vector>

class QAction;

// Gives actions idle-time Update handlers and guarded Execute handlers.
//
// Every Update handler runs whenever the event loop goes idle, and once more right before its
// action executes; the Execute handler runs only if the action is still enabled then. An action
// without an Execute handler is disabled at its update. The caption, hint (tool tip and status
// tip), category (dynamic property "category") and icon stay on the QAction itself.
class TActionList : public QObject {
    Q_OBJECT
public:
    using THandler = std::function<void(QAction* sender)>;

    explicit TActionList(QObject* parent = nullptr);
    ~TActionList() override;

    // Takes the action into the list; either handler may be empty.
    void Add(QAction* action, THandler onUpdate, THandler onExecute);

    // Runs every Update handler now.
    void UpdateActions();

    // Runs the action as a user's choice would: update, then execute if enabled.
    void Execute(QAction* action);

private:
    struct TEntry {
        QPointer<QAction> Action;
        THandler OnUpdate;
        THandler OnExecute;
    };

    void UpdateEntry(const TEntry& entry);
    const TEntry* Find(const QAction* action) const;

    std::vector<TEntry> FEntries;
};

// The category of an action (its dynamic property "category").
QString ActionCategory(const QAction* action);

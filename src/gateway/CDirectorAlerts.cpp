// The director's alerts, playlists and library: what a sign shows over, in turn, or by name.
#include "gateway/CDirector.h"

void CDirector::Restore(const std::string& name, Playlist playlist, const Stamp& stamp) {
    const size_t index = IndexOf(name);
    if (index < m_signs.size() && !playlist.empty()) {
        SignState& state = m_signs[index];
        for (PlayEntry& entry : playlist) {
            if (const LibraryMessage* named = m_library.Find(entry.name)) {
                entry.message = named->message;
            }
        }
        state.playlist = std::move(playlist);
        state.playing = 0;
        state.stamp = stamp;
        PlayEntryOn(state);
    }
}

void CDirector::PlayEntryOn(SignState& state) const {
    const PlayEntry& entry = state.playlist[state.playing];
    state.desired = entry.message;
    state.desiredName = entry.name;
}

void CDirector::RestoreAlert(const std::string& name, Alert alert) {
    const size_t index = IndexOf(name);
    if (index < m_signs.size()) {
        if (const LibraryMessage* named = m_library.Find(alert.library)) {
            alert.message = named->message;
        }
        m_signs[index].alerts.Raise(std::move(alert), m_clock.Now());
    }
}

bool CDirector::RaiseAlert(const std::string& name, Alert alert) {
    const size_t index = IndexOf(name);
    if (index >= m_signs.size()) {
        return false;
    }
    SignState& state = m_signs[index];
    const std::string key = alert.key;
    const std::string before = state.alerts.On() ? state.alerts.On()->key : std::string();
    alert.since = m_clock.Now();
    if (!state.alerts.Raise(std::move(alert), m_clock.Now())) {
        return false;
    }
    const Alert* raised = state.alerts.Find(key);
    Tell({DirectorEvent::Kind::kAlertRaised, state,
          raised->until
              ? static_cast<int>(
                    std::chrono::ceil<std::chrono::seconds>(*raised->until - m_clock.Now()).count())
              : 0,
          0, nullptr, raised});
    // A new message of the alert on is news as much as another alert on.
    AlertsChanged(index, before != state.alerts.On()->key || before == key, false);
    return true;
}

bool CDirector::ClearAlert(const std::string& name, const std::string& key) {
    const size_t index = IndexOf(name);
    if (index >= m_signs.size()) {
        return false;
    }
    const Alert* on = m_signs[index].alerts.On();
    const bool wasOn = on != nullptr && on->key == key;
    if (!m_signs[index].alerts.Clear(key, m_clock.Now())) {
        return false;
    }
    AlertsChanged(index, wasOn, true);
    return true;
}

bool CDirector::PutLibraryMessage(const LibraryMessage& message) {
    if (!m_library.Put(message)) {
        return false;
    }
    ResendLibraryUsers(message.name, &message.message);
    return true;
}

void CDirector::RemoveLibraryMessage(const std::string& name) {
    if (m_library.Remove(name)) {
        ResendLibraryUsers(name, nullptr);
    }
}

void CDirector::ResendLibraryUsers(const std::string& name, const MessageDocument* message) {
    for (size_t i = 0; i < m_signs.size(); ++i) {
        SignState& state = m_signs[i];
        const Alert* on = state.alerts.On();
        // A schedule's message by name may begin or end here as well as change.
        const bool shown = on != nullptr        ? on->library == name
                           : state.scheduleRule ? m_schedules.names[*state.scheduleRule] == name
                                                : state.desired && state.desiredName == name;
        if (message != nullptr) {  // the state says what it shows
            for (PlayEntry& entry : state.playlist) {
                if (entry.name == name) {
                    entry.message = *message;
                }
            }
            if (state.desiredName == name) {
                state.desired = *message;
            }
        }
        if (message != nullptr) {
            state.alerts.Relink(name, *message);
        }
        if (shown) {
            Kick(i);
            Changed(state);
        }
    }
}

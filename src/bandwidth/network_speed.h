#pragma once

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "bandwidth/band_record.h"
#include "bandwidth/band_statistics.h"
#include "bandwidth/server_catalogue.h"
#include "core/http_transport.h"
#include "core/speed.h"

// Waits of a bandwidth test. The transfers' own durations (20 s down, 18 s up) belong to the
// transport; tests shorten both through their hooks.
struct BandTimings {
  std::chrono::milliseconds samplerStart{2000};  // before the first sample of a phase
  std::chrono::milliseconds sampleInterval{1000};
  std::chrono::milliseconds phasePause{2000};  // between download and upload
};

// The bandwidth test engine: asks a test server for a slot, downloads and uploads over five
// connections each while a sampler reads the totals once a second, gives the slot back, and
// writes the record. Manual tests run on a worker of their own, automatic ones on the caller.
// One test runs at a time: a manual start during an automatic run is answered with the busy
// message (1004), an automatic start during a manual one returns 1 (try again later).
class CNetWorkSpeed : public virtual CSpeed {
 public:
  // Reads the catalogue and makes the automatic choice for the logged-in user.
  CNetWorkSpeed();
  ~CNetWorkSpeed() override;
  CNetWorkSpeed(const CNetWorkSpeed&) = delete;
  CNetWorkSpeed& operator=(const CNetWorkSpeed&) = delete;

  int StartAuto(int first, int second, int checktype) override;
  bool StartManual() override;
  std::string WriteRecord() override;
  void WriteAndUpload() override;
  void AbandonTest() override;

  // Reads the catalogue again and redoes the automatic choice (after a login). Waits for a
  // running test to end first, so call it off the window thread.
  void Reload();

  const ServerCatalogue& Catalogue() const { return m_catalogue; }
  const std::vector<std::string>& OperatorNames() const { return m_operators; }
  // The contracted bandwidths the user may declare (id, label), from the user's settings.
  const std::vector<std::pair<std::string, std::string>>& ContractedBandwidths() const {
    return m_bandMap;
  }
  // The operator keyword the automatic choice started from (the screen's proposal).
  std::string ProposedOperator() const;
  AutomaticChoice Automatic() const;
  std::string CurrentServer() const;
  void SetCurrentServer(const std::string& name);
  // The province and operator the user picked on the screen.
  void SetProvince(const std::string& name);
  void SetOperator(const std::string& name);
  std::string Province() const;
  std::string Operator() const;

  // Manual worker state.
  bool Running() const { return m_running.load(); }
  void WaitUntilIdle();

  // The last test's samples and texts.
  band::BandResult LastResult() const;
  // The key of the last automatic slot answer, and the server that issued it: a retry of a
  // queued request and AbandonTest go back to that server.
  std::string StoredKey() const;
  // File name of the last record written by WriteAndUpload (empty when none was written).
  std::string LastRecordName() const;
  // The package the last record went into (empty when it was not packed). It leaves the
  // folder once the upload has sent it.
  std::string LastPackageName() const;

  static BandTimings Timings();
  static void SetTimings(const BandTimings& timings);

  static constexpr int kConnections = 5;
  static constexpr int kTestPort = 8080;

 private:
  struct Server {
    std::string name;
    std::string address;
    std::string monitorId;
  };
  enum class Phase { kDown, kUp };

  void RunManual();
  Server ResolveServer(bool randomCandidate);
  bool ServerChoiceAccepted();
  Server Lookup(const std::string& name) const;
  std::string SlotRequest(const Server& server, const std::string& key, bool flag, int* code);
  void ReleaseSlot(const Server& server, const std::string& key);
  int RunAuto(int first, int second);
  // Claims the engine for one test; false while another test runs.
  bool BeginTest();
  void EndTest();
  bool RunPhase(Phase phase, const Server& server, const std::string& r, const std::string& key,
                const std::string& file, const char* log);  // log: family or null
  void Sampler(Phase phase);
  std::string MeasurePing(const std::string& address);
  int Report(int code, const std::string& message);
  void Notify(int code, double value);
  UpdateEvent MakeEvent(int code) const;
  void ClearBusy();

  ServerCatalogue m_catalogue;
  std::vector<std::string> m_operators;
  std::vector<std::pair<std::string, std::string>> m_bandMap;

  mutable std::mutex m_lock;  // guards the texts and samples below
  AutomaticChoice m_automatic;
  std::string m_currentServer;
  std::string m_province;
  std::string m_operator;
  std::string m_key;         // of automatic runs
  Server m_keyServer;        // the server that issued m_key
  bool m_keyQueued = false;  // m_key is held in that server's waiting queue
  std::string m_recordName;
  std::string m_packageName;
  band::BandResult m_result;
  std::string m_downAverage, m_downRate, m_upAverage, m_upRate;

  // Totals of the running transfers; null until a transfer hands its total out.
  std::atomic<const std::atomic<int64_t>*> m_downTotal{nullptr};
  std::atomic<const std::atomic<int64_t>*> m_upTotal{nullptr};
  std::atomic<bool> m_downloading{false};
  std::atomic<bool> m_uploading{false};

  HttpSession m_session{kBrowserAgent};  // for the slot release
  std::mutex m_sessionLock;

  // One test at a time; a reload of the catalogue waits for it.
  std::mutex m_testLock;
  std::condition_variable m_testEnded;
  bool m_testActive = false;
  bool m_reloading = false;

  std::thread m_worker;
  std::atomic<bool> m_running{false};
  std::mutex m_workerLock;
};

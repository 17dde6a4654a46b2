// Pop3Session: the steps of one POP3 session of WSPOPClient, in the order they run:
// connect, greeting, STLS, logon, STAT, CAPA, the message walk (UIDL, LIST, retrieval),
// DELE, QUIT, and the clean-up of a failed session. Each step sends, reads its reply,
// judges it and returns 0 or the code of what failed; a rejected command leaves the
// command and the reply in the transcript.
//
// Used only by WSPOPClient; one object per session. Retrieval (plain and compressed) and
// the durable storing of a fetched message live in Pop3Retrieval.cpp.
#pragma once

#include <cstdint>
#include <vector>

#include "base/ArrayTmpl.h"
#include "base/Str.h"
#include "pop3/Pop3Replies.h"
#include "pop3/WSPOPClient.h"

namespace quillet {

class Pop3Session {
 public:
  Pop3Session(WSPOPClient& client, const QueueStore& store, const POPSessionRequest& request,
              ArrayStr& knownUids, POPSessionResult& result);

  // The whole session; see WSPOPClient::FetchMailbox.
  [[nodiscard]] int run();

 private:
  // --- dialogue steps (Pop3Session.cpp) ---
  [[nodiscard]] int connect();
  [[nodiscard]] int readGreeting(Str& greeting);
  [[nodiscard]] int startTls();
  [[nodiscard]] int logOn(const Str& greeting);
  [[nodiscard]] int tryApop(const Str& greeting, bool& loggedOn);
  [[nodiscard]] int userPass();
  [[nodiscard]] int stat();
  [[nodiscard]] int readCapabilities();
  [[nodiscard]] int walkMessages();
  [[nodiscard]] int handleMessage(uint32_t number, bool& done);
  [[nodiscard]] int uniqueIdKnown(uint32_t number, bool& known);
  [[nodiscard]] int sizeAllowed(uint32_t number, bool& allowed);
  [[nodiscard]] int deleteMessages();
  [[nodiscard]] int quit();
  void cleanUpAfterFailure();

  // --- retrieval (Pop3Retrieval.cpp) ---
  // Fetches message number into a new message file with its index: 0 and the entry added
  // to the result, or an error code (the files of this message are then gone).
  [[nodiscard]] int retrieve(uint32_t number);
  [[nodiscard]] int retrievePlain(uint32_t number, Str& path);
  [[nodiscard]] int retrieveCompressed(uint32_t number, Str& path);
  // Writes the index file of the complete, closed message file and adds the entry.
  [[nodiscard]] int storeEntry(const Str& path);

  // --- helpers ---
  // Sends line and reads one reply: 0, or the transport's code.
  [[nodiscard]] int command(const Str& line, Str& reply);
  // Records a rejected command in the transcript; returns err::kNegativeReply.
  [[nodiscard]] int rejected(const Str& line, const Str& reply);
  // After a rejected retrieval or DELE: true when the NOOP work-around applies and the
  // server answers NOOP positively (the message then counts as handled).
  [[nodiscard]] bool recoveredByNoop();
  [[nodiscard]] bool stopRequested() const;

  WSPOPClient& client_;
  const QueueStore& store_;
  const POPSessionRequest& request_;
  ArrayStr& knownUids_;
  POPSessionResult& result_;
  uint32_t wireOptions_ = 0;  // trace and password mask of the socket layer
  bool uidlMode_ = false;
  uint32_t messageCount_ = 0;
  uint32_t fetchedCount_ = 0;
  pop3::Capabilities capabilities_;
  ArrayStr sessionUids_;
  std::vector<uint32_t> deleteList_;
};

}  // namespace quillet

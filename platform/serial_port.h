// A serial device (tty) for the device readers: opened exclusively and non-blocking, switched to
// raw 8-N-1, waited on with poll() together with a wake descriptor so that another thread can
// interrupt the wait. A lost link shows as a hang-up (POLLHUP, EIO on read, end of file) or, on
// lines that carry it, as DSR going off.
#pragma once

#include <cstddef>
#include <cstdint>

class PwSerialPort {
 public:
  // Bits of Wait's result.
  enum : uint32_t {
    EReceived = 1u,  // bytes can be read
    EWritable = 2u,  // a write would not block (only asked for with aWantWrite)
    EHangUp = 4u,    // the device hung up or reported an error
    EWoken = 8u,     // Interrupt was called
    ETimeout = 16u,  // the time limit passed with nothing else
  };
  // DsrState results.
  enum : int32_t { EDsrUnknown = -1, EDsrOff = 0, EDsrOn = 1 };

  PwSerialPort();
  // Closes the device and the wake descriptor.
  ~PwSerialPort();
  PwSerialPort(const PwSerialPort&) = delete;
  PwSerialPort& operator=(const PwSerialPort&) = delete;

  // Opens an existing tty for reading and writing, not as the controlling terminal, without
  // blocking on carrier, and claims it exclusively (TIOCEXCL). False (errno set) on failure.
  // The device of an open port is closed first.
  bool Open(const char* aPath);
  bool IsOpen() const { return iFd >= 0; }
  void Close();

  // Raw mode (no echo, no line editing, no translation, no XON/XOFF), 8 data bits, no parity,
  // one stop bit, reads returning what has arrived; the baud rate becomes aBaudRate unless it
  // is 0 or not a rate the system knows, in which case the port keeps its own. Hardware flow
  // control stays as the port had it. False when the settings could not be read or written.
  bool Configure(int32_t aBaudRate);
  // The input speed the port is set to, in baud (0 when unknown).
  int32_t CurrentBaudRate() const;
  // Drops what has arrived and not been read (bytes received at a rate just left).
  void DiscardInput();
  // Waits up to aTimeoutMs until the driver has sent what was written; false when bytes
  // are still waiting.
  bool DrainOutput(int32_t aTimeoutMs);

  // Blocks until bytes arrive, the device hangs up, Interrupt is called, (with aWantWrite) the
  // device can take more output, or aTimeoutMs passes (negative: no limit). Returns the bits
  // above; 0 when the wait itself failed (the caller retries).
  uint32_t Wait(bool aWantWrite, int32_t aTimeoutMs);
  // Reads what has arrived, at most aMax bytes. Returns the count (0: nothing there), -1 on a
  // read error other than "nothing there", -2 when the device hung up (EIO, end of file).
  int32_t Read(uint8_t* aBuffer, int32_t aMax);
  // Writes as much as the device takes now. Returns the count written (possibly 0) or -1 on
  // failure; -2 when the device hung up.
  int32_t Write(const uint8_t* aBytes, int32_t aLength);
  // State of the DSR line; EDsrUnknown when the device has no modem lines (pseudo-terminals,
  // most USB CDC devices).
  int32_t DsrState() const;

  // Makes the current or next Wait return with EWoken. Safe from any thread, also while the
  // port is closed. The wake stays pending until ClearInterrupt.
  void Interrupt();
  void ClearInterrupt();

  // Descriptor of the device, -1 when closed (tests).
  int Descriptor() const { return iFd; }

  // The stable name of the device aDevice names now: the link in /dev/serial/by-id (the
  // folder PACEWRIGHT_SERIAL_BY_ID names instead, for tests) that leads to the same device, so
  // that a USB receiver that comes back under another /dev/ttyUSB number is found again.
  // False (aOut empty) when there is none or it does not fit in aOutSize bytes.
  static bool StableName(const char* aDevice, char* aOut, size_t aOutSize);

 private:
  int iFd = -1;
  int iWakeFd = -1;  // eventfd
};

// The JACK server orders the clients of one graph (a test's client and
// Kindra's) through semaphores in shared memory, and libjack's own ring
// buffer through barriers in uninstrumented code; ThreadSanitizer sees
// neither. Only those hand-overs are excused: every race between our own
// threads is still reported.
extern "C" const char* __tsan_default_suppressions()
{
    return "race:jacktest::TestClient::process\n"
           "race:jack_midi_event_write\n"
           "race:jack_ringbuffer_read\n"
           "race:jack_ringbuffer_write\n";
}

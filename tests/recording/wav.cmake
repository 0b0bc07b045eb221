# WAV writer tests.

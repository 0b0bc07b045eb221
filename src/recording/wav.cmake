# WAV writer sources of vireon_core.

ardour {
	["type"]    = "dsp",
	name        = "Hammerlyn2 Score Player",
	category    = "Utility",
	license     = "ISC",
	author      = "Quillfeather",
	description = [[Test helper: plays the comparison score as MIDI, each event at its exact frame counted from the first processed block.]]
}

function dsp_ioconfig ()
	return { { midi_in = 1, midi_out = 1, audio_in = 0, audio_out = 0 }, }
end

-- { frame, status, data 1, data 2 }, in frame order; filled in by the test.
local score = { @SCORE@ }
local next_event = 1
local position = 0

function dsp_run (_, _, n_samples)
	local out = 1
	while next_event <= #score and score[next_event][1] < position + n_samples do
		local e = score[next_event]
		midiout[out] = { time = e[1] - position + 1, data = { e[2], e[3], e[4] } }
		out = out + 1
		next_event = next_event + 1
	end
	position = position + n_samples
end

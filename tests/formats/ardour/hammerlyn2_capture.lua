ardour {
	["type"]    = "dsp",
	name        = "Hammerlyn2 Capture",
	category    = "Utility",
	license     = "ISC",
	author      = "Quillfeather",
	description = [[Test helper: keeps the first @FRAMES@ frames of its stereo input, unchanged, and the length of every block, in shared memory for the session script; passes the audio on untouched.]]
}

local FRAMES = @FRAMES@
local MAX_BLOCKS = @MAX_BLOCKS@
local BLOCKS_AT = 2
local LEFT_AT = BLOCKS_AT + MAX_BLOCKS
local RIGHT_AT = LEFT_AT + FRAMES

function dsp_ioconfig ()
	return { { audio_in = 2, audio_out = 2 }, }
end

function dsp_init (rate)
	self:shmem ():allocate (RIGHT_AT + FRAMES)
	self:shmem ():clear ()
end

function dsp_runmap (bufs, in_map, out_map, n_samples, offset)
	local shmem = self:shmem ()
	local written = shmem:atomic_get_int (0)
	local blocks = shmem:atomic_get_int (1)
	if written >= FRAMES or blocks >= MAX_BLOCKS then return end
	local count = n_samples
	if written + count > FRAMES then count = FRAMES - written end
	local left = in_map:get (ARDOUR.DataType ("audio"), 0)
	local right = in_map:get (ARDOUR.DataType ("audio"), 1)
	ARDOUR.DSP.copy_vector (shmem:to_float (LEFT_AT + written), bufs:get_audio (left):data (offset), count)
	ARDOUR.DSP.copy_vector (shmem:to_float (RIGHT_AT + written), bufs:get_audio (right):data (offset), count)
	shmem:to_int (BLOCKS_AT + blocks):array ()[1] = n_samples
	shmem:atomic_set_int (1, blocks + 1)
	shmem:atomic_set_int (0, written + count)
end

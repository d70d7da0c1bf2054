-- Renders the comparison score through Hammerlyn2 in a headless Ardour session
-- (Dummy backend): a MIDI track holding the score player, the plug-in and the
-- capture, in that order. Writes the block lengths and the captured frames to
-- the output file and prints HAMMERLYN2-RENDER-DONE when everything went right.
-- Filled in by the test: @SESSION_DIR@ @PLUGIN_NAME@ @PLUGIN_TYPE@ @FRAMES@ @MAX_BLOCKS@ @OUTPUT@
ARDOUR.config ():set_hide_dummy_backend (false)
assert (AudioEngine:set_backend ("None (Dummy)", "", ""), "no Dummy backend")
assert (create_session ("@SESSION_DIR@", "render", 44100), "cannot create the session")
assert (Session:nominal_sample_rate () == 44100, "session rate")

local tracks = Session:new_midi_track (ARDOUR.ChanCount (ARDOUR.DataType ("midi"), 1),
	ARDOUR.ChanCount (ARDOUR.DataType ("audio"), 2), true, ARDOUR.PluginInfo (), nil, nil, 1, "Hammerlyn2",
	ARDOUR.PresentationInfo.max_order, ARDOUR.TrackMode.Normal, false, false)
assert (tracks:size () == 1, "no track")
local track = tracks:front ()
-- Inactive while the chain is built, so that the player and the capture
-- start counting frames in the same cycle.
track:set_active (false, nil)

local player = ARDOUR.LuaAPI.new_luaproc (Session, "Hammerlyn2 Score Player")
local plugin = ARDOUR.LuaAPI.new_plugin (Session, "@PLUGIN_NAME@", ARDOUR.PluginType.@PLUGIN_TYPE@, "")
local capture = ARDOUR.LuaAPI.new_luaproc (Session, "Hammerlyn2 Capture")
assert (not player:isnil (), "no score player")
assert (not plugin:isnil (), "Hammerlyn2 (@PLUGIN_TYPE@) not found")
assert (not capture:isnil (), "no capture")
assert (track:add_processor_by_index (player, 0, nil, true) == 0, "cannot add the player")
assert (track:add_processor_by_index (plugin, 1, nil, true) == 0, "cannot add the plug-in")
assert (track:add_processor_by_index (capture, 2, nil, true) == 0, "cannot add the capture")

local shmem = capture:to_insert ():plugin (0):to_luaproc ():shmem ()
track:set_active (true, nil)
local waited = 0
while shmem:atomic_get_int (0) < @FRAMES@ do
	ARDOUR.LuaAPI.usleep (20000)
	waited = waited + 1
	assert (waited < 3000, "the capture did not fill")
end
track:set_active (false, nil)

local blocks = shmem:atomic_get_int (1)
local out = assert (io.open ("@OUTPUT@", "wb"))
out:write (string.pack ("<i4i4", blocks, @FRAMES@))
local sizes = shmem:to_int (2):array ()
for i = 1, blocks do out:write (string.pack ("<i4", sizes[i])) end
for channel = 0, 1 do
	local samples = shmem:to_float (2 + @MAX_BLOCKS@ + channel * @FRAMES@):array ()
	local chunk = {}
	for i = 1, @FRAMES@ do
		chunk[#chunk + 1] = string.pack ("<f", samples[i])
		if #chunk == 4096 then out:write (table.concat (chunk)); chunk = {} end
	end
	out:write (table.concat (chunk))
end
out:close ()
print ("HAMMERLYN2-RENDER-DONE")

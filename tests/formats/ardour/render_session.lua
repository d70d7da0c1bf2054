-- Renders the comparison score through Hammerlyn2 in a headless Ardour session
-- (Dummy backend): a MIDI track holding the score player, the plug-in and the
-- capture, in that order. Writes the block lengths and the captured frames to
-- the output file and prints HAMMERLYN2-RENDER-DONE when everything went right.
-- Modes: "fresh" renders with a new plug-in; "save" sets the knobs listed in
-- SETTINGS on a new plug-in, saves the session and prints HAMMERLYN2-SAVE-DONE;
-- "reload" opens that session again and renders with the plug-in it restored.
-- "controls" lists the plug-in's controls, each with whether Ardour offers it
-- for automation, and prints HAMMERLYN2-CONTROLS-DONE.
-- Filled in by the test: @MODE@ @SETTINGS@ @SESSION_DIR@ @PLUGIN_NAME@ @PLUGIN_TYPE@ @FRAMES@ @MAX_BLOCKS@ @OUTPUT@
local mode = "@MODE@"
local settings = { @SETTINGS@ }  -- { parameter name, value }
ARDOUR.config ():set_hide_dummy_backend (false)
assert (AudioEngine:set_backend ("None (Dummy)", "", ""), "no Dummy backend")

local track, plugin
if mode == "reload" then
	assert (load_session ("@SESSION_DIR@", "render"), "cannot open the saved session")
	local route = Session:route_by_name ("Hammerlyn2")
	assert (not route:isnil (), "the saved track is missing")
	track = route:to_track ()
	track:set_active (false, nil)
	plugin = track:nth_plugin (0)
	assert (not plugin:isnil (), "the saved plug-in is missing")
else
	assert (create_session ("@SESSION_DIR@", "render", 44100), "cannot create the session")
	-- Without strict I/O: a strict track drops the two audio outputs it is
	-- made with (its chain has no instrument yet) and registers them again
	-- when the plug-in comes, which fails ("Port already exists") whenever
	-- the dropped ports are not yet released, and Ardour aborts.
	local tracks = Session:new_midi_track (ARDOUR.ChanCount (ARDOUR.DataType ("midi"), 1),
		ARDOUR.ChanCount (ARDOUR.DataType ("audio"), 2), false, ARDOUR.PluginInfo (), nil, nil, 1, "Hammerlyn2",
		ARDOUR.PresentationInfo.max_order, ARDOUR.TrackMode.Normal, false, false)
	assert (tracks:size () == 1, "no track")
	track = tracks:front ()
	-- Inactive while the chain is built, so that the player and the capture
	-- start counting frames in the same cycle.
	track:set_active (false, nil)
	plugin = ARDOUR.LuaAPI.new_plugin (Session, "@PLUGIN_NAME@", ARDOUR.PluginType.@PLUGIN_TYPE@, "")
		assert (track:add_processor_by_index (plugin, 0, nil, true) == 0, "cannot add the plug-in")
end
assert (Session:nominal_sample_rate () == 44100, "session rate")

if mode == "controls" then
	local insert = plugin:to_insert ()
	local p = insert:plugin (0)
	local offered = {}
	for param in insert:to_automatable ():all_automatable_params ():iter () do offered[param:id ()] = true end
	print ("HAMMERLYN2-LIMIT " .. ARDOUR.config ():get_limit_n_automatables ())
	for i = 0, p:parameter_count () - 1 do
		print (string.format ("HAMMERLYN2-CONTROL %d %d %s", i, offered[i] and 1 or 0, p:parameter_label (i)))
	end
	print ("HAMMERLYN2-CONTROLS-DONE")
	return
end

if mode == "save" then
	local p = plugin:to_insert ():plugin (0)
	track:set_active (true, nil)
	for _, setting in ipairs (settings) do
		-- set_processor_param takes Ardour's parameter number: the plug-in's own
		-- for VST3, the count of control inputs before it for LV2.
		local found = false
		local control = 0
		for i = 0, p:parameter_count () - 1 do
			local is_control = p:parameter_is_input (i) and p:parameter_is_control (i)
			if p:parameter_label (i) == setting[1] then
				local which = ("@PLUGIN_TYPE@" == "VST3") and i or control
				assert (ARDOUR.LuaAPI.set_processor_param (plugin, which, setting[2]), "cannot set " .. setting[1])
				found = true
			end
			if is_control then control = control + 1 end
		end
		assert (found, "no parameter " .. setting[1])
	end
	-- Some cycles, so that the plug-in itself holds the new values; then the
	-- track is saved inactive, so that it plays nothing before the render.
	ARDOUR.LuaAPI.usleep (300000)
	track:set_active (false, nil)
	assert (Session:save_state ("", false, false, false, false, false) == 0, "cannot save the session")
	print ("HAMMERLYN2-SAVE-DONE")
	return
end

local player = ARDOUR.LuaAPI.new_luaproc (Session, "Hammerlyn2 Score Player")
local capture = ARDOUR.LuaAPI.new_luaproc (Session, "Hammerlyn2 Capture")
assert (not player:isnil (), "no score player")
assert (not capture:isnil (), "no capture")
assert (track:add_processor_by_index (player, 0, nil, true) == 0, "cannot add the player")
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

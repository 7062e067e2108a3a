-- pocket band
-- a step sequencer toy: a tune of 16 steps and three drums. arrows move,
-- z sets or clears a note, hold x with up/down for the sound and
-- left/right for the tempo, tap x to pause. your tune is kept.

steps = 16
lead_rows = 8
drum_rows = 3
rows = lead_rows + drum_rows

grid_x = 8
grid_y = 13
cell = 7
drum_gap = 4

sound_names = {"bell", "pluck", "organ", "buzz"}
-- frames per step at 60 frames a second, and the beats a minute it makes
tempos = {12, 11, 10, 9, 8, 7, 6}
snd_drum = 32
snd_cursor = 35
snd_set = 36
snd_clear = 37
snd_jingle = 38

-- a colour for each lead row (from the top, the highest note first) and
-- each drum
row_colours = {14, 8, 9, 10, 11, 3, 12, 13, 4, 7, 6}
drum_sprites = {3, 4, 5}
drum_bit = {1, 2, 4}

-- the tune that plays the first time
first_lead = {8, 0, 6, 0, 5, 0, 6, 8, 0, 5, 3, 0, 4, 0, 0, 0}
first_drums = {{1, 0, 0, 0, 1, 0, 0, 0, 1, 0, 0, 0, 1, 0, 1, 0},
               {0, 0, 0, 0, 1, 0, 0, 0, 0, 0, 0, 0, 1, 0, 0, 0},
               {1, 0, 1, 0, 1, 0, 1, 1, 1, 0, 1, 0, 1, 0, 1, 1}}

function _init()
  -- save values: 0 marks a saved tune, 1-16 the steps (lead row plus 16
  -- times the drum bits), 17 the sound, 18 the tempo
  cartdata("vexel_pocket_band")
  lead = {}
  drums = {{}, {}, {}}
  if dget(0) == 1 then
    for s = 1, steps do
      local v = dget(s)
      lead[s] = v % 16
      for d = 1, drum_rows do
        drums[d][s] = flr(v / 16 / drum_bit[d]) % 2
      end
    end
    sound = mid(1, dget(17), #sound_names)
    tempo = mid(1, dget(18), #tempos)
  else
    load_tune(first_lead, first_drums)
    sound = 1
    tempo = 4
  end
  cur_x = 1
  cur_y = 3
  playing = true
  step = 0
  tick = 0
  frame = 0
  glow = {}
  for r = 1, rows do
    glow[r] = {}
    for s = 1, steps do glow[r][s] = 0 end
  end
  bars = {}
  for i = 1, 16 do bars[i] = 0 end
  notes = {}
  bounce = 0
  x_used = false
  shown = 0
  shown_text = ""
  menuitem(1, "clear the tune", clear_tune)
  menuitem(2, "a random tune", random_tune)
  sfx(snd_jingle)
end

function load_tune(l, d)
  for s = 1, steps do
    lead[s] = l[s]
    for r = 1, drum_rows do drums[r][s] = d[r][s] end
  end
end

function save_tune()
  dset(0, 1)
  for s = 1, steps do
    local v = lead[s]
    for d = 1, drum_rows do
      v = v + drums[d][s] * 16 * drum_bit[d]
    end
    dset(s, v)
  end
  dset(17, sound)
  dset(18, tempo)
end

function clear_tune()
  for s = 1, steps do
    lead[s] = 0
    for d = 1, drum_rows do drums[d][s] = 0 end
  end
  save_tune()
  say("a clean sheet")
end

-- a tune on the scale: a walking melody with rests, and a plain beat
function random_tune()
  local r = 3 + flr(rnd(4))
  for s = 1, steps do
    if rnd(1) < 0.65 then
      r = mid(1, r + flr(rnd(5)) - 2, lead_rows)
      lead[s] = r
    else
      lead[s] = 0
    end
    drums[1][s] = 0
    drums[2][s] = 0
    drums[3][s] = 0
    if s % 4 == 1 or rnd(1) < 0.1 then drums[1][s] = 1 end
    if s % 8 == 5 then drums[2][s] = 1 end
    if s % 2 == 1 or rnd(1) < 0.3 then drums[3][s] = 1 end
  end
  lead[1] = lead_rows - flr(rnd(3)) * 2
  save_tune()
  say("a new tune")
end

function say(s)
  shown_text = s
  shown = 60
end

function bpm()
  return flr(900 / tempos[tempo])
end

function play_step(s)
  local r = lead[s]
  if r > 0 then
    -- row 1 is the highest note, sound effect 7 of the set
    sfx((sound - 1) * 8 + lead_rows - r, 0)
    glow[r][s] = 12
    bars[s] = 12 + (lead_rows - r) * 2
    add(notes, {x = grid_x + (s - 1) * cell + 3, y = grid_y + (r - 1) * cell,
                c = row_colours[r], life = 30})
  end
  for d = 1, drum_rows do
    if drums[d][s] == 1 then
      sfx(snd_drum + d - 1, d)
      glow[lead_rows + d][s] = 12
      if d == 1 then bounce = 8 end
    end
  end
end

function _update60()
  frame = (frame + 1) % 25200
  if shown > 0 then shown = shown - 1 end
  if bounce > 0 then bounce = bounce - 1 end
  for r = 1, rows do
    for s = 1, steps do
      if glow[r][s] > 0 then glow[r][s] = glow[r][s] - 1 end
    end
  end
  for i = 1, 16 do bars[i] = max(0, bars[i] - 0.5) end
  for n in all(notes) do
    n.y = n.y - 0.6
    n.x = n.x + sin(n.life / 20) * 0.3
    n.life = n.life - 1
    if n.life <= 0 then del(notes, n) end
  end

  if playing then
    tick = tick - 1
    if tick <= 0 then
      tick = tempos[tempo]
      step = step % steps + 1
      play_step(step)
    end
  end

  if btn(5) then
    -- x held: the arrows change the sound and the tempo
    local changed = false
    if btnp(2) then sound = sound % #sound_names + 1 changed = true end
    if btnp(3) then sound = (sound - 2) % #sound_names + 1 changed = true end
    if btnp(1) and tempo < #tempos then tempo = tempo + 1 changed = true end
    if btnp(0) and tempo > 1 then tempo = tempo - 1 changed = true end
    if changed then
      x_used = true
      save_tune()
      say(sound_names[sound] .. ", " .. bpm() .. " bpm")
      -- let the chosen sound be heard at once
      sfx((sound - 1) * 8 + 4, 0)
    end
    x_down = true
    return
  end
  if x_down then
    -- x let go without an arrow: pause or play
    if not x_used then
      playing = not playing
      if playing then
        tick = 0
        say("play")
      else
        say("paused")
      end
    end
    x_down = false
    x_used = false
  end

  local mx = cur_x
  local my = cur_y
  if btnp(0) then cur_x = (cur_x - 2) % steps + 1 end
  if btnp(1) then cur_x = cur_x % steps + 1 end
  if btnp(2) then cur_y = (cur_y - 2) % rows + 1 end
  if btnp(3) then cur_y = cur_y % rows + 1 end
  if cur_x ~= mx or cur_y ~= my then sfx(snd_cursor, 3) end

  if btnp(4) then toggle() end
end

function toggle()
  local on
  if cur_y <= lead_rows then
    -- one lead note a step: setting a note moves the old one
    if lead[cur_x] == cur_y then
      lead[cur_x] = 0
      on = false
    else
      lead[cur_x] = cur_y
      on = true
    end
  else
    local d = cur_y - lead_rows
    drums[d][cur_x] = 1 - drums[d][cur_x]
    on = drums[d][cur_x] == 1
  end
  if on then
    -- let the note be heard as it is set
    if cur_y <= lead_rows then
      sfx((sound - 1) * 8 + lead_rows - cur_y, 0)
    else
      sfx(snd_drum + cur_y - lead_rows - 1, cur_y - lead_rows)
    end
    glow[cur_y][cur_x] = 12
  else
    sfx(snd_clear, 3)
  end
  save_tune()
end

-- drawing

function cell_pos(s, r)
  local x = grid_x + (s - 1) * cell
  local y = grid_y + (r - 1) * cell
  if r > lead_rows then y = y + drum_gap end
  return x, y
end

function is_on(s, r)
  if r <= lead_rows then return lead[s] == r end
  return drums[r - lead_rows][s] == 1
end

function draw_grid()
  -- the playing step, as a light column behind the cells
  if step > 0 then
    local x = cell_pos(step, 1)
    rectfill(x - 1, grid_y - 1, x + cell - 1, grid_y + rows * cell + drum_gap - 1, 1)
  end
  for r = 1, rows do
    for s = 1, steps do
      local x, y = cell_pos(s, r)
      local c = row_colours[r]
      if is_on(s, r) then
        if glow[r][s] > 6 then c = 7 end
        rectfill(x, y, x + cell - 2, y + cell - 2, c)
        if r > lead_rows then
          pset(x + 1, y + 1, 7)
        else
          line(x + 1, y + 1, x + cell - 3, y + 1, 7)
        end
      else
        -- beats are marked every four steps
        local dot = 5
        if (s - 1) % 4 == 0 then dot = 13 end
        if s == step then dot = 6 end
        pset(x + 2, y + 2, dot)
        pset(x + 3, y + 3, dot)
        pset(x + 3, y + 2, dot)
        pset(x + 2, y + 3, dot)
      end
    end
  end
  for d = 1, drum_rows do
    local _, y = cell_pos(1, lead_rows + d)
    spr(drum_sprites[d], 0, y - 1)
  end
  -- the cursor
  local x, y = cell_pos(cur_x, cur_y)
  local c = 7
  if frame % 30 < 15 then c = 10 end
  rect(x - 1, y - 1, x + cell - 1, y + cell - 1, c)
end

function draw_stage()
  local y0 = 101
  rectfill(0, y0, 127, 127, 0)
  -- a bar of light for each step, jumping with its note
  for i = 1, 16 do
    local h = bars[i]
    if h > 0 then
      local x = cell_pos(i, 1)
      local c = 2
      if h > 8 then c = 14 end
      if h > 16 then c = 15 end
      rectfill(x, 118 - h * 0.6, x + cell - 3, 118, c)
    end
  end
  line(0, 119, 127, 119, 5)
  -- two speakers pumping with the kick
  for sx in all({4, 108}) do
    rectfill(sx, 102, sx + 15, 118, 5)
    rect(sx, 102, sx + 15, 118, 6)
    circfill(sx + 8, 107, 2, 0)
    local k = 4 + flr(bounce / 4)
    circfill(sx + 8, 113, k, 0)
    circ(sx + 8, 113, k, 13)
    pset(sx + 8, 113, 6)
  end
  -- the dancer keeps the beat of the kick drum
  local f = 1
  if bounce > 4 then f = 2 end
  spr(f, 60, 110 - flr(bounce / 3))
  local h = "z note  x+arrows sound/tempo"
  print(h, 64 - #h * 2, 122, 5)
end

function _draw()
  cls(0)
  print("pocket band", 2, 2, 7)
  local info = sound_names[sound] .. " " .. bpm()
  if not playing and frame % 40 < 20 then info = "paused" end
  if shown > 0 then info = shown_text end
  print(info, 126 - #info * 4, 2, 12)
  draw_grid()
  draw_stage()
  clip(0, 10, 128, 90)
  for n in all(notes) do
    local c = n.c
    if n.life < 10 then c = 5 end
    -- a little eighth note
    pset(n.x, n.y, c)
    pset(n.x + 1, n.y, c)
    line(n.x + 1, n.y - 3, n.x + 1, n.y, c)
    pset(n.x + 2, n.y - 3, c)
  end
  clip()
end
